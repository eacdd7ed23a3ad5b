// Transactions on a scripted line: header and sequence bits, waits, resends, stale answers,
// events, the failed state and the request size limit.
#include <gtest/gtest.h>

#include "link/error_codes.h"
#include "link/link_context.h"
#include "tests/support/scripted_line.h"

namespace tov::test {
namespace {

class Transaction : public ::testing::Test {
protected:
    void SetUp() override {
        probe.attach(line);
        probe.onCommand = [this](const Bytes& payload) {
            requests.push_back(payload);
            if (answer) answer(payload);
        };
        ASSERT_EQ(link.openSerial("/dev/scripted", 115200), 0);
        line.writes.clear();
    }

    // Answers with `message` behind a header echoing the request's sequence bits.
    void reply(const Bytes& request, const Bytes& message) {
        line.deliverFrame(answerPayload(static_cast<uint8_t>(request[0] >> 6), message));
    }

    int32_t run(const Bytes& request, int32_t extra = 0, size_t capacity = 1500) {
        result.assign(capacity, 0);
        int32_t rc = link.transaction(request, result, extra);
        if (rc > 0) result.resize(static_cast<size_t>(rc));
        return rc;
    }

    ScriptedLine line;
    FakeProbe probe;
    link::LinkContext link{link::libraryFlavour(), line, line.clock};
    std::function<void(const Bytes&)> answer;
    std::vector<Bytes> requests;
    Bytes result;
};

TEST_F(Transaction, FramesCarryHeaderAndRunningSequenceBits) {
    answer = [this](const Bytes& r) { reply(r, {0xBA, 0x00, 0x00}); };
    EXPECT_EQ(run({0xBA}), 3);
    EXPECT_EQ(line.writes[0].bytes, hexBytes("10 02 10 10 01 BA 10 03 AB"));
    EXPECT_EQ(run({0xBA}), 3);
    EXPECT_EQ(line.writes[1].bytes, hexBytes("10 02 50 01 BA 10 03 EB"));
    for (int i = 0; i < 4; ++i) EXPECT_EQ(run({0xBA}), 3);
    std::vector<int> sequence;
    for (const Bytes& r : requests) sequence.push_back(r[0] >> 6);
    EXPECT_EQ(sequence, (std::vector<int>{0, 1, 2, 3, 0, 1}));
    EXPECT_EQ(result, hexBytes("BA 00 00"));
}

TEST_F(Transaction, LongestRequestIsSentAndOneMoreIsRefusedWithoutTraffic) {
    answer = [this](const Bytes& r) { reply(r, {0x00}); };
    Bytes longest(1498, 0x42);
    EXPECT_EQ(run(longest), 1);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].size(), 1500u);
    EXPECT_EQ(requests[0][0], 0x10 | 0x05);  // length bits 10-8 of 1498
    EXPECT_EQ(requests[0][1], 1498 & 0xFF);
    line.writes.clear();
    EXPECT_EQ(run(Bytes(1499, 0x42)), link::kInvalidParameter);
    EXPECT_TRUE(line.writes.empty());
}

TEST_F(Transaction, WaitsTheLineTimePlusExtraBeforeResending) {
    int calls = 0;
    answer = [&](const Bytes& r) {
        if (++calls == 2) reply(r, {0xB4, 0x01});
    };
    EXPECT_EQ(run({0xB4}, 3000), 2);
    ASSERT_EQ(line.writes.size(), 2u);
    EXPECT_EQ(line.writes[0].bytes, line.writes[1].bytes);  // a resend keeps its sequence bits
    // (1 + 2 + 1500) * 10000 / 115200 + 3000 + 200 = 3330 ms per byte, after the port's own
    // 110 ms read time-out.
    uint64_t gap = line.writes[1].atMs - line.writes[0].atMs;
    EXPECT_GT(gap, 3330u + 110u);
    EXPECT_LT(gap, 3330u + 250u);
    EXPECT_EQ(link.stats().resends, 1u);
}

TEST_F(Transaction, DamagedAnswersAreResentAndShortOnesWaitedPast) {
    int calls = 0;
    answer = [&](const Bytes& r) {
        ++calls;
        if (calls == 1) line.deliver(hexBytes("10 02 50 01 BA 10 03 00"));        // bad BCC
        if (calls == 2) line.deliver(hexBytes("10 02 50 10 05 10 03 00"));        // bad format
        if (calls == 3) {
            // After the third send: a one-byte answer is waited past, not taken as the end.
            line.deliverFrame({0x10});
            // A zero-length answer (header only) is waited past too.
            line.deliverFrame({static_cast<uint8_t>((r[0] & 0xC0) | 0x10), 0x00});
            reply(r, {0xBA, 0x00, 0x00});
        }
    };
    EXPECT_EQ(run({0xBA}), 3);
    EXPECT_EQ(calls, 3);
}

TEST_F(Transaction, StaleAnswerIsDroppedAndEventIsAbsorbedOnce) {
    answer = [this](const Bytes& r) {
        Bytes stale = r;
        stale[0] ^= 0x40;  // another request's sequence bits
        reply(stale, {0xBB, 0xFF, 0xFF});
        line.deliverFrame({0x08, 0x01, 0x04});
        reply(r, {0xBB, 0x00, 0x00});
    };
    EXPECT_EQ(run({0xBB}), 3);
    EXPECT_EQ(result, hexBytes("BB 00 00"));
    EXPECT_EQ(line.writes.size(), 1u);
    EXPECT_EQ(link.stats().staleAnswers, 1u);
    EXPECT_EQ(link.takePendingEvents(), 0x04);
    EXPECT_EQ(link.takePendingEvents(), 0x00);
    // An event waiting in the line is picked up by the poll itself.
    line.deliverFrame({0x08, 0x01, 0x21});
    EXPECT_EQ(link.takePendingEvents(), 0x21);
    EXPECT_EQ(link.takePendingEvents(), 0x00);
}

TEST_F(Transaction, AnswerLengthMustMatchAndFitTheCaller) {
    int calls = 0;
    answer = [&](const Bytes& r) {
        if (++calls == 1) {
            Bytes lying{static_cast<uint8_t>((r[0] & 0xC0) | 0x10), 0x05, 0xC1, 0x00};
            line.deliverFrame(lying);  // header says 5, two bytes came: resent
        } else {
            reply(r, Bytes(40, 0xC1));
        }
    };
    EXPECT_EQ(run({0xC1}, 0, 39), link::kAnswerTooBig);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(result, Bytes(39, 0));  // nothing copied
    EXPECT_EQ(run({0xC1}, 0, 40), 40);
}

TEST_F(Transaction, UnansweredConnectionFailsUntilReopened) {
    EXPECT_EQ(run({0xBA}), link::kNoResponse);
    EXPECT_EQ(line.writes.size(), 3u);
    EXPECT_EQ(run({0xBA}), link::kNoResponse);
    EXPECT_EQ(line.writes.size(), 3u);  // at once, nothing sent
    ASSERT_EQ(link.openSerial("/dev/scripted", 115200), 0);
    answer = [this](const Bytes& r) { reply(r, {0xBA, 0x00, 0x00}); };
    EXPECT_EQ(run({0xBA}), 3);
}

TEST_F(Transaction, NetFrameTypeIsSentAndKeepsTheConnectionUsable) {
    link.setNetFrameType();
    EXPECT_EQ(run({0xBA}), link::kNoResponse);
    EXPECT_EQ(payloadOf(line.writes[0].bytes)[0], 0x30);
    answer = [this](const Bytes& r) { reply(r, {0xBA, 0x00, 0x00}); };
    EXPECT_EQ(run({0xBA}), 3);
    EXPECT_EQ(requests.back()[0], 0x70);  // sequence 1, type 11
}

TEST(TransactionClosed, RefusesWithoutAConnection) {
    ScriptedLine line;
    link::LinkContext link(link::libraryFlavour(), line, line.clock);
    uint8_t answer[8];
    const uint8_t request[1] = {0xBA};
    EXPECT_EQ(link.transaction(request, answer, 0), link::kNotConnected);
    EXPECT_EQ(link.takePendingEvents(), 0);
}

}  // namespace
}  // namespace tov::test
