// Every exported target function against the simulator, over the pseudo-terminal and over UDP
// loopback: good answers, the target's error statuses and the single-item write check.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "include/tovlink.h"
#include "tests/support/sim_fixture.h"

namespace tov::test {
namespace {

enum class Transport { Pty, Udp };

class TargetApi : public ::testing::TestWithParam<Transport> {
protected:
    void SetUp() override {
        sim::SimOptions options = simAt(115200);
        // Each run its own loopback address, so parallel test processes do not meet.
        options.udpAddress = "127.0.3." + std::to_string(10 + (getpid() % 200));
        probe_ = std::make_unique<SimOnPty>(options);
        ASSERT_TRUE(probe_->started());
        std::string port = GetParam() == Transport::Pty ? probe_->port()
                                                        : "NETWORK " + options.udpAddress + " 1";
        ASSERT_EQ(TOV_Connect(port.c_str()), 0) << port;
    }
    void TearDown() override { TOV_Disconnect(); }

    std::unique_ptr<SimOnPty> probe_;
};

TEST_P(TargetApi, RunControlStateAndInformation) {
    TargetInfo info{};
    ASSERT_EQ(TOV_InfoGet(&info), 0);
    EXPECT_EQ(info.family, 40);
    EXPECT_EQ(info.cpuType, 0x8821);

    uint16_t state = 99, count = 8;
    int32_t error = 1;
    uint32_t value = 0, values[8] = {};
    ASSERT_EQ(TOV_StateGet(&state, &error, &value, &count, values), 0);
    EXPECT_EQ(state, 1);  // ready
    EXPECT_EQ(error, 0);
    EXPECT_GT(count, 0);

    uint32_t pc = 0;
    EXPECT_EQ(TOV_TargetStep(0, 0, 1, &pc), 0);
    EXPECT_EQ(TOV_TargetStart(), 0);
    EXPECT_EQ(TOV_TargetStart(), -2006);  // already running: wrong state
    count = 8;
    ASSERT_EQ(TOV_StateGet(&state, &error, &value, &count, values), 0);
    EXPECT_EQ(state, 2);
    EXPECT_EQ(TOV_TargetStep(0, 0, 1, &pc), -2101);  // no step while running
    EXPECT_EQ(TOV_TargetHalt(), 0);
    EXPECT_EQ(TOV_TargetReset(), 0);
    EXPECT_EQ(TOV_TargetReset2(500), 0);
    StartupEntry entries[1] = {{0, 0, 0}};
    EXPECT_EQ(TOV_TargetStartup(0, 0, 0, entries), 0);
    std::vector<StartupEntry> tooMany(129);
    EXPECT_EQ(TOV_TargetStartup(0, 0, 129, tooMany.data()), -1202);
    EXPECT_EQ(TOV_SetBdmSpeed(1000000), 0);

    // The error state carries its cause.
    char reply[256];
    ASSERT_EQ(TOV_DirectCommand("fault -2009", sizeof reply, reply), 0);
    count = 8;
    ASSERT_EQ(TOV_StateGet(&state, &error, &value, &count, values), 0);
    EXPECT_EQ(state, 3);
    EXPECT_EQ(error, -2009);
    EXPECT_EQ(TOV_TargetStart(), -2006);
    EXPECT_EQ(TOV_DirectCommand("clear fault", sizeof reply, reply), 0);
}

TEST_P(TargetApi, RegistersFloatingPointAndVectors) {
    RegisterDescriptor regs[2] = {{600, 0}, {600, 1}};
    int32_t set[2] = {0x11111111, -2};
    ASSERT_EQ(TOV_RegisterSet(2, regs, set), 0);
    uint32_t got[2] = {};
    ASSERT_EQ(TOV_RegisterGet(2, regs, got), 0);
    EXPECT_EQ(got[0], 0x11111111u);
    EXPECT_EQ(got[1], 0xFFFFFFFEu);
    RegisterDescriptor bad[1] = {{9999, 0}};
    uint32_t untouched[1] = {0xABCD};
    EXPECT_EQ(TOV_RegisterGet(1, bad, untouched), -2102);
    EXPECT_EQ(untouched[0], 0xABCDu);

    std::vector<uint8_t> fp(16), fpBack(16);
    for (size_t i = 0; i < fp.size(); ++i) fp[i] = static_cast<uint8_t>(i + 1);
    ASSERT_EQ(TOV_FPRegSet(4, 5, fp.data()), 0);
    ASSERT_EQ(TOV_FPRegGet(4, 5, fpBack.data()), 0);
    EXPECT_EQ(fpBack, fp);
    std::vector<uint8_t> vec(32, 0x5C), vecBack(32);
    ASSERT_EQ(TOV_VRegSet(0, 1, vec.data()), 0);
    ASSERT_EQ(TOV_VRegGet(0, 1, vecBack.data()), 0);
    EXPECT_EQ(vecBack, vec);
    EXPECT_EQ(TOV_FPRegGet(0, 128, fpBack.data()), -1202);
}

TEST_P(TargetApi, MemoryAndSingleItems) {
    std::vector<uint8_t> data(2500), back(2500);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 13);
    ASSERT_EQ(TOV_MemoryWrite(0x40000, 0, 2500, data.data()), 0);
    ASSERT_EQ(TOV_MemoryRead(0x40000, 0, 2500, back.data()), 0);
    EXPECT_EQ(back, data);
    EXPECT_EQ(TOV_MemoryRead(0xFFF00000, 0, 16, back.data()), -2107);
    EXPECT_EQ(TOV_MemoryWrite(0xFFF00000, 0, 16, data.data()), -2107);

    EXPECT_EQ(TOV_SetByte(0x50000, 0xA5), 0);
    EXPECT_EQ(TOV_SetWord(0x50002, 0xBEEF), 0);
    EXPECT_EQ(TOV_SetLong(0x50004, 0x01020304), 0);
    uint8_t b = 0;
    uint16_t w = 0;
    uint32_t l = 0;
    EXPECT_EQ(TOV_GetByte(0x50000, &b), 0);
    EXPECT_EQ(TOV_GetWord(0x50002, &w), 0);
    EXPECT_EQ(TOV_GetLong(0x50004, &l), 0);
    EXPECT_EQ(b, 0xA5);
    EXPECT_EQ(w, 0xBEEF);
    EXPECT_EQ(l, 0x01020304u);
    // Read-only memory does not keep what is written: the echo differs.
    EXPECT_EQ(TOV_SetLong(0xFFE00000, 0x12345678), -2106);
    EXPECT_EQ(TOV_SetByte(0xFFF00000, 0), -2106);
}

TEST_P(TargetApi, PointsTerminalChannelsAndCommands) {
    int32_t id = TOV_BreakAdd(0x1000, 1);
    ASSERT_GE(id, 0);
    uint32_t value = 0;
    EXPECT_EQ(TOV_BreakRead(static_cast<uint16_t>(id), &value), 0);
    EXPECT_EQ(TOV_BreakDelete(id), 0);
    EXPECT_EQ(TOV_BreakDelete(-1), -2102);  // 0xFFFF names no breakpoint
    int32_t watch = TOV_WatchAdd(0x46, 0x2000, 4, 1, 0);
    ASSERT_GE(watch, 0);
    EXPECT_EQ(TOV_WatchDelete(watch), 0);

    // A running target stops at its breakpoint.
    id = TOV_BreakAdd(0x2000, 1);
    ASSERT_GE(id, 0);
    ASSERT_EQ(TOV_TargetStart(), 0);
    uint16_t state = 2, count = 8;
    int32_t error = 0;
    uint32_t v = 0, values[8];
    for (int i = 0; i < 50 && state == 2; ++i) {
        count = 8;
        ASSERT_EQ(TOV_StateGet(&state, &error, &v, &count, values), 0);
    }
    EXPECT_EQ(state, 1);

    char reply[2048];
    EXPECT_EQ(TOV_DirectCommand("help", sizeof reply, reply), 0);
    EXPECT_GT(std::strlen(reply), 10u);
    EXPECT_EQ(TOV_DirectCommand("bogus", sizeof reply, reply), -2201);
    EXPECT_EQ(TOV_DirectCommand(std::string(1024, 'x').c_str(), sizeof reply, reply), -1202);
    ASSERT_EQ(TOV_DirectCommand("clear terminal", sizeof reply, reply), 0);
    ASSERT_EQ(TOV_DirectCommand("print hello", sizeof reply, reply), 0);
    char text[1500];
    ASSERT_EQ(TOV_TerminalRead(text), 0);
    EXPECT_NE(std::string(text).find("hello"), std::string::npos);
    EXPECT_EQ(TOV_TerminalWrite('k'), 0);

    std::vector<uint8_t> out(3000), in(3000);
    for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<uint8_t>(i);
    EXPECT_EQ(TOV_ChannelWrite(3, 3000, out.data()), 3000);
    EXPECT_EQ(TOV_ChannelRead(3, 3000, in.data()), 3000);
    EXPECT_EQ(in, out);
    EXPECT_EQ(TOV_ChannelRead(3, 100, in.data()), 0);  // nothing left
    EXPECT_EQ(TOV_ChannelWrite(9, 4, out.data()), -2102);  // no such channel
}

INSTANTIATE_TEST_SUITE_P(BothTransports, TargetApi,
                         ::testing::Values(Transport::Pty, Transport::Udp),
                         [](const auto& info) {
                             return info.param == Transport::Pty ? std::string("Pty")
                                                                 : std::string("Udp");
                         });

}  // namespace
}  // namespace tov::test
