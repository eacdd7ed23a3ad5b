// Target requests byte for byte: what goes out, with which extra wait, and how answers decode.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "link/error_codes.h"
#include "target/target_link.h"
#include "tests/support/scripted_transport.h"

namespace tov::test {
namespace {

using Answers = std::vector<Bytes>;

Bytes cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(TargetWire, ResetBytesAndWaits) {
    int resets = 0;
    ScriptedLink s([](const Bytes&) { return Answers{{0x82}}; });
    target::TargetLink t(s.link);
    t.setTargetResetHook([&] { ++resets; });
    EXPECT_EQ(t.reset(0), 0);
    EXPECT_EQ(t.reset(2000), 0);
    EXPECT_EQ(t.reset(500), 0);
    ASSERT_EQ(s.sent.size(), 3u);
    EXPECT_EQ(s.sent[0].message, hexBytes("82 00 00 00"));
    EXPECT_EQ(s.sent[0].extraTimeout, 5000);
    EXPECT_EQ(s.sent[1].message, hexBytes("82 00 07 D0"));
    EXPECT_EQ(s.sent[1].extraTimeout, 5000);
    EXPECT_EQ(s.sent[2].extraTimeout, 3500);
    EXPECT_EQ(resets, 3);

    // A wrong answer does not count as a reset of the target.
    ScriptedLink bad([](const Bytes&) { return Answers{{0x82, 0x00}}; });
    target::TargetLink t2(bad.link);
    t2.setTargetResetHook([&] { ++resets; });
    EXPECT_EQ(t2.reset(0), link::kInvalidResponse);
    EXPECT_EQ(resets, 3);
}

TEST(TargetWire, RunControlAnswersAndTheHaltRetry) {
    int halts = 0;
    ScriptedLink s([&](const Bytes& m) -> Answers {
        if (m[0] == 0xBB && ++halts <= 3) return {};  // the first halt goes unanswered
        if (m[0] == 0xBB) return {{0xBB, 0xF7, 0xDA}};  // -2086 status
        if (m[0] == 0xBC) return {{0xBC, 0x00, 0x00, 0x12, 0x34, 0x56, 0x78}};
        return {{m[0], 0x00, 0x00}};
    });
    s.link.setNetFrameType();  // failures are not sticky with this frame type
    target::TargetLink t(s.link);
    EXPECT_EQ(t.halt(), -2086);
    EXPECT_EQ(halts, 4);  // three sends of the first attempt, then the second attempt
    EXPECT_EQ(t.start(), 0);
    EXPECT_EQ(s.sent.back().extraTimeout, 3000);
    uint32_t result = 0;
    EXPECT_EQ(t.step(1, 2, 250, result), 0);
    EXPECT_EQ(result, 0x12345678u);
    EXPECT_EQ(s.sent.back().message, hexBytes("BC 00000001 00000002 00FA"));
    EXPECT_EQ(s.sent.back().extraTimeout, 350);
}

TEST(TargetWire, StateStoresWhatFitsAndWhatCame) {
    Bytes answer = hexBytes("B4 03 F7 C5 DE AD BE EF 0C");
    for (uint32_t i = 0; i < 12; ++i) answer = cat(answer, {0, 0, 0, static_cast<uint8_t>(i)});
    ScriptedLink s([&](const Bytes&) { return Answers{answer}; });
    target::TargetLink t(s.link);
    uint16_t state = 0, count = 10;
    int32_t error = 0;
    uint32_t value = 0, values[12] = {};
    EXPECT_EQ(t.state(state, error, value, count, values), 0);
    EXPECT_EQ(state, 3);
    EXPECT_EQ(error, -2107);
    EXPECT_EQ(value, 0xDEADBEEFu);
    EXPECT_EQ(count, 10);
    EXPECT_EQ(values[9], 9u);
    EXPECT_EQ(values[10], 0u);
    // An answer claiming more values than it carries stores only those it carries.
    answer = hexBytes("B4 01 00 00 00 00 00 00 05 00 00 00 07");
    count = 10;
    EXPECT_EQ(t.state(state, error, value, count, values), 0);
    EXPECT_EQ(count, 1);
    answer = hexBytes("B4 01 00");
    EXPECT_EQ(t.state(state, error, value, count, values), link::kInvalidResponse);
}

TEST(TargetWire, InformationDecodesVersionWordsAndRefusesLongAnswers) {
    Bytes answer = cat(hexBytes("C1 00 12 34 00 2A 65 4F 3A 00"), Bytes{'i', 'd', '-', '1'});
    ScriptedLink s([&](const Bytes&) { return Answers{answer}; });
    target::TargetLink t(s.link);
    TargetInfo info{};
    EXPECT_EQ(t.info(info), 0);
    EXPECT_EQ(s.sent[0].message, hexBytes("C1"));
    EXPECT_EQ(s.sent[0].extraTimeout, 100);
    EXPECT_EQ(info.family, 1);
    EXPECT_EQ(info.version, 0x234);
    EXPECT_EQ(info.cpuType, 42);
    EXPECT_EQ(info.setupTime, 0x654F3A00u);
    EXPECT_STREQ(info.setupId, "id-1");
    answer = hexBytes("C1 00 E8 05 00 01 00 00 00 00");
    EXPECT_EQ(t.info(info), 0);
    EXPECT_EQ(info.family, 40);
    EXPECT_EQ(info.version, 5);
    EXPECT_STREQ(info.setupId, "");
    answer = cat(hexBytes("C1 00 E8 05 00 01 00 00 00 00"), Bytes(40, 'x'));
    EXPECT_EQ(t.info(info), 0);
    EXPECT_EQ(std::strlen(info.setupId), 40u);
    answer.push_back('x');  // 51 bytes
    EXPECT_EQ(t.info(info), link::kInvalidResponse);
}

TEST(TargetWire, StartupLimitAndClockSpeed) {
    ScriptedLink s([](const Bytes& m) {
        return Answers{m[0] == 0x83 ? Bytes{0x83} : Bytes{0xB5, 0x00, 0x00}};
    });
    target::TargetLink t(s.link);
    std::vector<StartupEntry> entries(129, StartupEntry{0x0102, 0x03040506, 0x0708090A});
    EXPECT_EQ(t.startup(0, 0x11223344, 128, entries.data()), 0);
    EXPECT_EQ(s.sent[0].message.size(), 1289u);
    EXPECT_EQ(Bytes(s.sent[0].message.begin(), s.sent[0].message.begin() + 19),
              hexBytes("B5 0000 11223344 0080 0102 03040506 0708090A"));
    EXPECT_EQ(s.sent[0].extraTimeout, 5000);
    EXPECT_EQ(t.startup(0, 0, 129, entries.data()), link::kInvalidParameter);
    EXPECT_EQ(s.sent.size(), 1u);
    EXPECT_EQ(t.setBdmSpeed(4000000), 0);
    EXPECT_EQ(s.sent[1].message, hexBytes("83 003D0900"));
}

TEST(TargetWire, MemoryGoesInPiecesOf1024) {
    std::vector<Bytes> seen;
    ScriptedLink s([&](const Bytes& m) {
        uint16_t size = static_cast<uint16_t>((m[7] << 8) | m[8]);
        Bytes data(size);
        for (size_t i = 0; i < size; ++i) data[i] = static_cast<uint8_t>(m[4] + i);
        uint8_t status = seen.size() == 2 ? 0xFF : 0x00;
        seen.push_back(m);
        return Answers{cat({0xB8, status, status}, data)};
    });
    target::TargetLink t(s.link);
    std::vector<uint8_t> buffer(2500, 0xEE);
    // The third piece answers with a status (-1): its data is still stored.
    EXPECT_EQ(t.memoryRead(0x1000, 0x0004, 2500, buffer.data()), -1);
    ASSERT_EQ(s.sent.size(), 3u);
    EXPECT_EQ(s.sent[0].message, hexBytes("B8 00001000 0004 0400"));
    EXPECT_EQ(s.sent[1].message, hexBytes("B8 00001400 0004 0400"));
    EXPECT_EQ(s.sent[2].message, hexBytes("B8 00001800 0004 01C4"));
    EXPECT_EQ(s.sent[0].extraTimeout, 1224);
    EXPECT_EQ(s.sent[2].extraTimeout, 652);
    EXPECT_EQ(buffer[2048], 0x00);
    EXPECT_EQ(buffer[2049], 0x01);
    EXPECT_EQ(t.memoryRead(0, 0, 0, nullptr), 0);
    EXPECT_EQ(s.sent.size(), 3u);
}

TEST(TargetWire, MemoryWriteStopsAtTheFirstFailingPiece) {
    ScriptedLink s([](const Bytes& m) {
        bool bad = m[3] == 0x04;  // the second piece
        return Answers{{0xB9, static_cast<uint8_t>(bad ? 0xF7 : 0), static_cast<uint8_t>(bad ? 0xC5 : 0)}};
    });
    target::TargetLink t(s.link);
    std::vector<uint8_t> data(3000, 0x5A);
    EXPECT_EQ(t.memoryWrite(0, 2, 3000, data.data()), -2107);
    ASSERT_EQ(s.sent.size(), 2u);
    EXPECT_EQ(s.sent[0].message.size(), 9u + 1024u);
    EXPECT_EQ(Bytes(s.sent[1].message.begin(), s.sent[1].message.begin() + 9),
              hexBytes("B9 00000400 0002 0400"));
}

TEST(TargetWire, SingleItemsCheckCodesAndEchoes) {
    Bytes answer;
    ScriptedLink s([&](const Bytes&) { return Answers{answer}; });
    target::TargetLink t(s.link);
    answer = hexBytes("42 12 34");
    EXPECT_EQ(t.setItem(0x2000, 2, 0x1234), 0);
    EXPECT_EQ(s.sent.back().message, hexBytes("02 00002000 1234"));
    answer = hexBytes("42 12 35");
    EXPECT_EQ(t.setItem(0x2000, 2, 0x1234), link::kTargetWriteFailed);
    answer = hexBytes("41 AB");
    EXPECT_EQ(t.setItem(0x2000, 1, 0xFFAB), 0);  // the byte form compares the low 8 bits
    uint32_t value = 0;
    answer = hexBytes("43 DE AD BE EF");
    EXPECT_EQ(t.getItem(0x3000, 4, value), 0);
    EXPECT_EQ(value, 0xDEADBEEFu);
    EXPECT_EQ(s.sent.back().message, hexBytes("07 00003000"));
    answer = hexBytes("42 DE AD BE EF");
    EXPECT_EQ(t.getItem(0x3000, 4, value), link::kInvalidResponse);
}

TEST(TargetWire, RegistersAndTheirLimits) {
    Bytes answer;
    ScriptedLink s([&](const Bytes&) { return Answers{answer}; });
    target::TargetLink t(s.link);
    RegisterDescriptor regs[2] = {{600, 1}, {601, 15}};
    uint32_t values[2] = {7, 7};
    answer = hexBytes("B6 F7 FA");
    EXPECT_EQ(t.registerGet(2, regs, values), -2054);
    EXPECT_EQ(values[0], 7u);
    answer = hexBytes("B6 0000 0002 00000011 00000022");
    EXPECT_EQ(t.registerGet(2, regs, values), 0);
    EXPECT_EQ(s.sent.back().message, hexBytes("B6 0002 0258 0001 0259 000F"));
    EXPECT_EQ(values[1], 0x22u);
    answer = hexBytes("B7 0000");
    int32_t setValues[2] = {-1, 2};
    EXPECT_EQ(t.registerSet(2, regs, setValues), 0);
    EXPECT_EQ(s.sent.back().message, hexBytes("B7 0002 0258 0001 FFFFFFFF 0259 000F 00000002"));
    std::vector<RegisterDescriptor> many(374, RegisterDescriptor{1, 1});
    std::vector<uint32_t> out(374);
    size_t before = s.sent.size();
    EXPECT_EQ(t.registerGet(374, many.data(), out.data()), link::kInvalidParameter);
    std::vector<int32_t> in(187);
    EXPECT_EQ(t.registerSet(187, many.data(), in.data()), link::kInvalidParameter);
    EXPECT_EQ(s.sent.size(), before);
}

TEST(TargetWire, FloatingPointRawAndAsRdiWords) {
    Bytes answer = cat(hexBytes("C4 00 00"), hexBytes("01020304 05060708"));
    ScriptedLink s([&](const Bytes&) { return Answers{answer}; });
    target::TargetLink t(s.link);
    uint8_t raw[8];
    EXPECT_EQ(t.fpRegGet(3, 3, raw), 0);
    EXPECT_EQ(Bytes(raw, raw + 8), hexBytes("01020304 05060708"));
    std::vector<uint8_t> big(129 * 8);
    EXPECT_EQ(t.fpRegGet(0, 128, big.data()), link::kInvalidParameter);
    answer = cat(hexBytes("C4 00 00"), Bytes(1024, 0));
    EXPECT_EQ(t.fpRegGet(0, 127, big.data()), 0);
    EXPECT_EQ(t.vRegGet(0, 64, big.data()), link::kInvalidParameter);

    answer = cat(hexBytes("C4 00 00"), hexBytes("01020304 05060708"));
    ScriptedLink r([&](const Bytes&) { return Answers{answer}; }, link::rdiFlavour());
    target::TargetLink rdi(r.link);
    uint32_t words[2] = {};
    EXPECT_EQ(rdi.fpRegGet(3, 3, words), 0);
    EXPECT_EQ(words[0], 0x01020304u);
    EXPECT_EQ(words[1], 0x05060708u);
    answer = hexBytes("C5 00 00");
    EXPECT_EQ(rdi.fpRegSet(3, 3, words), 0);
    EXPECT_EQ(r.sent.back().message, hexBytes("C5 0003 0003 01020304 05060708"));
}

TEST(TargetWire, RdiFlavourWaitsLessAndLacksExtendedRequests) {
    ScriptedLink r([](const Bytes& m) { return Answers{m[0] == 0x82 ? Bytes{0x82} : Bytes{m[0], 0, 0}}; },
                   link::rdiFlavour());
    target::TargetLink t(r.link);
    EXPECT_EQ(t.start(), 0);
    EXPECT_EQ(r.sent.back().extraTimeout, 100);
    EXPECT_EQ(t.halt(), 0);
    EXPECT_EQ(r.sent.back().extraTimeout, 100);
    EXPECT_EQ(t.reset(2000), 0);
    EXPECT_EQ(r.sent.back().message, hexBytes("82 00 00 00"));
    EXPECT_EQ(r.sent.back().extraTimeout, 5000);
    size_t before = r.sent.size();
    uint32_t value = 0;
    uint8_t vec[16];
    EXPECT_EQ(t.startup(0, 0, 0, nullptr), link::kInvalidParameter);
    EXPECT_EQ(t.setBdmSpeed(1), link::kInvalidParameter);
    EXPECT_EQ(t.getItem(0, 4, value), link::kInvalidParameter);
    EXPECT_EQ(t.setItem(0, 1, 0), link::kInvalidParameter);
    EXPECT_EQ(t.vRegGet(0, 0, vec), link::kInvalidParameter);
    EXPECT_EQ(r.sent.size(), before);
}

TEST(TargetWire, BreakAndWatchPoints) {
    Bytes answer;
    ScriptedLink s([&](const Bytes&) { return Answers{answer}; });
    target::TargetLink t(s.link);
    answer = hexBytes("BD 0000 8001");
    EXPECT_EQ(t.breakAdd(0x8001, 1), 0x8001);
    EXPECT_EQ(s.sent.back().message, hexBytes("BD 00008001 00000001"));
    answer = hexBytes("BD FF FE 0000");
    EXPECT_EQ(t.breakAdd(0x8001, 1), -2);
    answer = hexBytes("BE 0000");
    EXPECT_EQ(t.breakDelete(-1), 0);
    EXPECT_EQ(s.sent.back().message, hexBytes("BE FFFF"));
    answer = hexBytes("C2 F7 FA 00 00 00 09");
    uint32_t value = 0;
    EXPECT_EQ(t.breakRead(3, value), -2054);
    EXPECT_EQ(value, 9u);
    answer = hexBytes("BF 0000 0004");
    EXPECT_EQ(t.watchAdd(0x46, 0x2000, 4, 1, 0), 4);
    EXPECT_EQ(s.sent.back().message, hexBytes("BF 0046 00002000 00000004 00000001 00000000"));
    answer = hexBytes("C0 0000");
    EXPECT_EQ(t.watchDelete(70000), 0);
    EXPECT_EQ(s.sent.back().message, hexBytes("C0 1170"));
}

TEST(TargetWire, ChannelLoops) {
    int reads = 0;
    ScriptedLink s([&](const Bytes& m) -> Answers {
        if (m[0] == 0xC7) return {{0xC7, 0, 0, m[3], m[4]}};
        uint16_t give = ++reads == 1 ? 1024 : 100;
        Bytes a = {0xC6, 0, 0, static_cast<uint8_t>(give >> 8), static_cast<uint8_t>(give)};
        return {cat(a, Bytes(give, static_cast<uint8_t>(reads)))};
    });
    target::TargetLink t(s.link);
    std::vector<uint8_t> buffer(3000, 0);
    EXPECT_EQ(t.channelRead(2, 3000, buffer.data()), 1124);
    EXPECT_EQ(reads, 2);
    EXPECT_EQ(s.sent[0].message, hexBytes("C6 0002 0400"));
    EXPECT_EQ(s.sent[0].extraTimeout, 1000);
    EXPECT_EQ(buffer[1023], 1);
    EXPECT_EQ(buffer[1024], 2);
    EXPECT_EQ(buffer[1124], 0);
    std::vector<uint8_t> data(2048, 0x33);
    EXPECT_EQ(t.channelWrite(5, 2048, data.data()), 2048);
    EXPECT_EQ(s.sent.size(), 4u);
    EXPECT_EQ(s.sent[3].message.size(), 5u + 1024u);
    EXPECT_EQ(t.channelRead(2, 0, nullptr), 0);
    EXPECT_EQ(s.sent.size(), 4u);
}

TEST(TargetWire, DirectCommandLengthsAndReplyCapacity) {
    ScriptedLink s([](const Bytes&) {
        return Answers{cat(hexBytes("C3 F7 67"), Bytes(20, 'r'))};  // -2201, unknown object
    });
    target::TargetLink t(s.link);
    std::string command(1023, 'c');
    char reply[32];
    std::memset(reply, '#', sizeof reply);
    EXPECT_EQ(t.directCommand(command.c_str(), 8, reply), -2201);
    EXPECT_EQ(s.sent[0].message.size(), 1025u);
    EXPECT_EQ(s.sent[0].message.back(), 0);
    EXPECT_EQ(s.sent[0].extraTimeout, 5000);
    EXPECT_STREQ(reply, "rrrrrrr");
    std::memset(reply, '#', sizeof reply);
    t.directCommand("help", 0, reply);
    EXPECT_EQ(reply[0], '#');  // capacity 0 writes nothing
    t.directCommand("help", 1, reply);
    EXPECT_EQ(reply[0], '\0');
    command.push_back('c');
    EXPECT_EQ(t.directCommand(command.c_str(), 8, reply), link::kInvalidParameter);
    EXPECT_EQ(s.sent.size(), 3u);
}

TEST(TargetWire, TerminalCodes) {
    Bytes answer;
    ScriptedLink s([&](const Bytes&) { return Answers{answer}; });
    target::TargetLink t(s.link);
    answer = {0x40};
    EXPECT_EQ(t.terminalWrite('x'), 0);
    EXPECT_EQ(s.sent.back().message, hexBytes("0D 78"));
    answer = {0x40, 0x00};
    EXPECT_EQ(t.terminalWrite('x'), link::kInvalidResponse);
    answer = {0x0D};
    EXPECT_EQ(t.terminalWrite('x'), link::kInvalidResponse);
    answer = cat({0x45}, Bytes{'o', 'k', '\n'});
    char text[1500];
    EXPECT_EQ(t.terminalRead(text), 0);
    EXPECT_STREQ(text, "ok\n");
    answer = {0x45};
    EXPECT_EQ(t.terminalRead(text), 0);
    EXPECT_STREQ(text, "");
    answer = {0x20};
    EXPECT_EQ(t.terminalRead(text), link::kInvalidResponse);
}

}  // namespace
}  // namespace tov::test
