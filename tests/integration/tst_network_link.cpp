// The library against the simulator over loopback UDP: opening on both ports, memory round
// trips, resends after loss and damage, stale answers and events, the two frame types' failure
// rules, a probe that is not there and a host that does not resolve.
#include <gtest/gtest.h>
#include <unistd.h>

#include <vector>

#include "include/tovlink.h"
#include "tests/integration/sim_on_udp.h"

namespace tov::test {
namespace {

// A memory read of 16 bytes at 0x1000 (answer: request code, status, data).
int32_t readMemory(std::vector<uint8_t>& answer, uint32_t address = 0x1000, uint8_t count = 16) {
    const uint8_t request[] = {0xB8,
                               static_cast<uint8_t>(address >> 24),
                               static_cast<uint8_t>(address >> 16),
                               static_cast<uint8_t>(address >> 8),
                               static_cast<uint8_t>(address),
                               0x00,
                               0x00,
                               0x00,
                               count};
    answer.assign(1500, 0);
    int32_t rc = TOV_Transaction(sizeof request, request, 1500, answer.data(), 0);
    if (rc > 0) answer.resize(static_cast<size_t>(rc));
    return rc;
}

int32_t writeMemory(uint32_t address, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> request = {0xB9,
                                    static_cast<uint8_t>(address >> 24),
                                    static_cast<uint8_t>(address >> 16),
                                    static_cast<uint8_t>(address >> 8),
                                    static_cast<uint8_t>(address),
                                    0x00,
                                    0x00,
                                    static_cast<uint8_t>(data.size() >> 8),
                                    static_cast<uint8_t>(data.size())};
    request.insert(request.end(), data.begin(), data.end());
    uint8_t answer[16];
    return TOV_Transaction(static_cast<int32_t>(request.size()), request.data(), sizeof answer,
                           answer, 0);
}

class NetworkLink : public ::testing::Test {
protected:
    void TearDown() override { TOV_Close(); }
};

TEST_F(NetworkLink, OpensOnEitherPortAndRoundTripsMemory) {
    SimOnUdp probe("127.77.1.1");
    ASSERT_TRUE(probe.started());
    ASSERT_EQ(TOV_Open(probe.port(1).c_str()), 0);
    EXPECT_EQ(probe.sim().stats().linkFrames, 1u);  // the first ping was answered
    const std::vector<uint8_t> data{0x00, 0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70,
                                    0x80, 0x90, 0xA0, 0xB0, 0xC0, 0xD0, 0xE0, 0xF0};
    EXPECT_EQ(writeMemory(0x1000, data), 3);

    ASSERT_EQ(TOV_Open(probe.port(2).c_str()), 0);
    std::vector<uint8_t> answer;
    ASSERT_EQ(readMemory(answer), 19);
    EXPECT_EQ(answer[0], 0xB8);
    EXPECT_EQ(answer[1], 0x00);
    EXPECT_EQ(answer[2], 0x00);
    EXPECT_EQ(std::vector<uint8_t>(answer.begin() + 3, answer.end()), data);
    EXPECT_EQ(probe.sim().stats().commandFrames, 2u);
    EXPECT_EQ(probe.sim().stats().udpDatagrams, 4u);
}

TEST_F(NetworkLink, LossAndDamageAreResentStaleAnswersAndEventsAbsorbed) {
    SimOnUdp probe("127.77.1.2");
    ASSERT_TRUE(probe.started());
    ASSERT_EQ(TOV_Open(probe.port().c_str()), 0);
    ASSERT_EQ(writeMemory(0x1000, std::vector<uint8_t>(16, 0x3C)), 3);
    std::vector<uint8_t> clean;
    ASSERT_EQ(readMemory(clean), 19);
    using Damage = sim::Simulator::Damage;
    for (Damage damage : {Damage::Drop, Damage::Bcc, Damage::Format, Damage::Overflow}) {
        uint64_t before = probe.sim().stats().commandFrames;
        probe.sim().damageNextAnswer(damage);
        std::vector<uint8_t> answer;
        EXPECT_EQ(readMemory(answer), 19) << static_cast<int>(damage);
        EXPECT_EQ(answer, clean);
        EXPECT_EQ(probe.sim().stats().commandFrames - before, 2u) << "one resend";
    }
    // A stale answer and an event before the answer: no resend, the event kept for the poll.
    uint64_t before = probe.sim().stats().commandFrames;
    probe.sim().damageNextAnswer(Damage::Stale);
    probe.sim().eventBeforeNextAnswer(0x04);
    std::vector<uint8_t> answer;
    EXPECT_EQ(readMemory(answer), 19);
    EXPECT_EQ(answer, clean);
    EXPECT_EQ(probe.sim().stats().commandFrames - before, 1u);
    EXPECT_EQ(TOV_GetPendingEvents(), 0x04);
    EXPECT_EQ(TOV_GetPendingEvents(), 0x00);

    // A duplicate answer left behind is dropped by the next transaction's sequence check.
    probe.sim().damageNextAnswer(Damage::Duplicate);
    EXPECT_EQ(readMemory(answer), 19);
    EXPECT_EQ(writeMemory(0x1000, std::vector<uint8_t>(16, 0x5A)), 3);
    EXPECT_EQ(readMemory(answer), 19);
    EXPECT_EQ(answer[3], 0x5A);

    // An event on its own is found by the poll once it has arrived.
    probe.sim().sendEvent(0x81);
    usleep(50000);
    EXPECT_EQ(TOV_GetPendingEvents(), 0x81);
    EXPECT_EQ(TOV_GetPendingEvents(), 0x00);
}

TEST_F(NetworkLink, NetFrameTypeSurvivesAnUnansweredTransactionTheDefaultDoesNot) {
    SimOnUdp probe("127.77.1.3");
    ASSERT_TRUE(probe.started());
    ASSERT_EQ(TOV_Open(probe.port().c_str()), 0);
    TOV_SetNetFrameType();
    std::vector<uint8_t> answer;
    ASSERT_EQ(readMemory(answer), 19);
    probe.sim().setMute(true);
    uint64_t before = probe.sim().stats().commandFrames;
    EXPECT_EQ(readMemory(answer), -1201);
    EXPECT_EQ(probe.sim().stats().commandFrames - before, 3u);
    probe.sim().setMute(false);
    EXPECT_EQ(readMemory(answer), 19);

    // Opened again: the default frame type, and an unanswered transaction fails the connection.
    ASSERT_EQ(TOV_Open(probe.port().c_str()), 0);
    probe.sim().setMute(true);
    before = probe.sim().stats().commandFrames;
    EXPECT_EQ(readMemory(answer), -1201);
    EXPECT_EQ(probe.sim().stats().commandFrames - before, 3u);
    probe.sim().setMute(false);
    EXPECT_EQ(readMemory(answer), -1201);
    EXPECT_EQ(probe.sim().stats().commandFrames - before, 3u);  // nothing sent
    ASSERT_EQ(TOV_Open(probe.port().c_str()), 0);
    EXPECT_EQ(readMemory(answer), 19);
}

TEST_F(NetworkLink, AbsentProbeAndUnknownHost) {
    // Nothing listens at this address: six pings go unanswered.
    EXPECT_EQ(TOV_Open("NETWORK 127.77.1.250 1"), -1201);
    std::vector<uint8_t> answer;
    EXPECT_EQ(readMemory(answer), -1203);

    // A muted probe hears all six pings of the link check.
    SimOnUdp probe("127.77.1.4");
    ASSERT_TRUE(probe.started());
    probe.sim().setMute(true);
    EXPECT_EQ(TOV_Open(probe.port().c_str()), -1201);
    EXPECT_EQ(probe.sim().stats().linkFrames, 6u);
    EXPECT_EQ(readMemory(answer), -1203);

    EXPECT_EQ(TOV_Open("NETWORK no-such-host.invalid"), -1202);
    EXPECT_EQ(TOV_Open("NETWORK 127.77.1.4 3"), -1202);
    EXPECT_EQ(TOV_Open("NETWORK"), -1202);
    EXPECT_EQ(readMemory(answer), -1203);
}

TEST_F(NetworkLink, ConnectRestartsAProbeInItsLoader) {
    sim::SimOptions options;
    options.loader = true;
    SimOnUdp probe("127.77.1.5", options);
    ASSERT_TRUE(probe.started());
    ASSERT_TRUE(probe.sim().inLoader());
    EXPECT_EQ(TOV_Connect(probe.port(2).c_str()), 0);
    EXPECT_FALSE(probe.sim().inLoader());
    std::vector<uint8_t> answer;
    EXPECT_EQ(readMemory(answer), 19);
    EXPECT_EQ(TOV_Disconnect(), 0);
}

}  // namespace
}  // namespace tov::test
