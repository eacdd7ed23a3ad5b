// The library against the simulator over a real pseudo-terminal: negotiation, damaged frames,
// events, stale answers, the failed state, the size limit and connecting through the loader.
#include <gtest/gtest.h>

#include <vector>

#include "include/tovlink.h"
#include "tests/support/sim_fixture.h"

namespace tov::test {
namespace {

// A memory read of 16 bytes: an answer the simulator gives in its firmware.
int32_t readMemory(std::vector<uint8_t>& answer) {
    const uint8_t request[] = {0xB8, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x00, 0x10};
    answer.assign(1500, 0);
    int32_t rc = TOV_Transaction(sizeof request, request, 1500, answer.data(), 0);
    if (rc > 0) answer.resize(static_cast<size_t>(rc));
    return rc;
}

class SerialLink : public ::testing::Test {
protected:
    void TearDown() override { TOV_Close(); }
};

TEST_F(SerialLink, ScanFindsTheProbeAndSwitchesItsRate) {
    SimOnPty probe(simAt(38400));
    ASSERT_TRUE(probe.started());
    ASSERT_EQ(TOV_Open(probe.port(115200).c_str()), 0);
    EXPECT_EQ(TOV_LineRateGet(), 115200u);
    EXPECT_EQ(probe.sim().listeningRate(), 115200u);
    // The first ping at 115200 was not understood by a probe listening at 38400.
    EXPECT_GE(probe.sim().stats().wrongRateRuns, 1u);
    std::vector<uint8_t> answer;
    EXPECT_EQ(readMemory(answer), 19);
    EXPECT_EQ(answer[0], 0xB8);
}

TEST_F(SerialLink, SilentProbeGivesNoResponse) {
    SimOnPty probe(simAt(115200));
    ASSERT_TRUE(probe.started());
    probe.sim().setMute(true);
    EXPECT_EQ(TOV_Open(probe.port().c_str()), -1201);
    EXPECT_EQ(TOV_LineRateGet(), 0u);
    std::vector<uint8_t> answer;
    EXPECT_EQ(readMemory(answer), -1203);
}

TEST_F(SerialLink, DamagedFramesAreResentAndEventsAbsorbed) {
    SimOnPty probe(simAt(115200));
    ASSERT_TRUE(probe.started());
    ASSERT_EQ(TOV_Open(probe.port().c_str()), 0);
    std::vector<uint8_t> clean;
    ASSERT_EQ(readMemory(clean), 19);
    using Damage = sim::Simulator::Damage;
    for (Damage damage : {Damage::Bcc, Damage::Format, Damage::Overflow, Damage::Drop}) {
        uint64_t before = probe.sim().stats().commandFrames;
        probe.sim().damageNextAnswer(damage);
        std::vector<uint8_t> answer;
        EXPECT_EQ(readMemory(answer), 19) << static_cast<int>(damage);
        EXPECT_EQ(answer, clean);
        EXPECT_EQ(probe.sim().stats().commandFrames - before, 2u) << "one resend";
    }
    // A stale answer (other sequence bits) and an event before the answer: no resend.
    uint64_t before = probe.sim().stats().commandFrames;
    probe.sim().damageNextAnswer(Damage::Stale);
    probe.sim().eventBeforeNextAnswer(0x04);
    std::vector<uint8_t> answer;
    EXPECT_EQ(readMemory(answer), 19);
    EXPECT_EQ(answer, clean);
    EXPECT_EQ(probe.sim().stats().commandFrames - before, 1u);
    EXPECT_EQ(TOV_GetPendingEvents(), 0x04);
    EXPECT_EQ(TOV_GetPendingEvents(), 0x00);
    // An event that arrives on its own is found by the poll.
    probe.sim().sendEvent(0x81);
    for (int i = 0; i < 50 && probe.sim().stats().eventsSent < 2; ++i) usleep(10000);
    usleep(20000);
    EXPECT_EQ(TOV_GetPendingEvents(), 0x81);
}

TEST_F(SerialLink, UnansweredTransactionFailsTheConnectionUntilReopened) {
    SimOnPty probe(simAt(115200));
    ASSERT_TRUE(probe.started());
    ASSERT_EQ(TOV_Open(probe.port().c_str()), 0);
    probe.sim().setMute(true);
    std::vector<uint8_t> answer;
    uint64_t before = probe.sim().stats().commandFrames;
    EXPECT_EQ(readMemory(answer), -1201);
    EXPECT_EQ(probe.sim().stats().commandFrames - before, 3u);
    probe.sim().setMute(false);
    EXPECT_EQ(readMemory(answer), -1201);
    EXPECT_EQ(probe.sim().stats().commandFrames - before, 3u);  // nothing sent
    ASSERT_EQ(TOV_Open(probe.port().c_str()), 0);
    EXPECT_EQ(readMemory(answer), 19);
}

TEST_F(SerialLink, LongestRequestGoesOutAndOneMoreDoesNot) {
    SimOnPty probe(simAt(115200));
    ASSERT_TRUE(probe.started());
    ASSERT_EQ(TOV_Open(probe.port().c_str()), 0);
    // A memory write piece of 1489 bytes makes a request of exactly 1498 bytes.
    std::vector<uint8_t> request = {0xB9, 0x00, 0x00, 0x20, 0x00, 0x00, 0x00, 0x05, 0xD1};
    request.resize(1498, 0x10);  // DLE bytes are doubled on the line
    uint8_t answer[16];
    EXPECT_EQ(TOV_Transaction(1498, request.data(), sizeof answer, answer, 0), 3);
    EXPECT_EQ(probe.sim().stats().lastRequest, request);
    uint64_t before = probe.sim().stats().commandFrames;
    request.push_back(0);
    EXPECT_EQ(TOV_Transaction(1499, request.data(), sizeof answer, answer, 0), -1202);
    EXPECT_EQ(TOV_Transaction(-1, request.data(), sizeof answer, answer, 0), -1202);
    EXPECT_EQ(probe.sim().stats().commandFrames, before);
}

TEST_F(SerialLink, ConnectRestartsAProbeInItsLoader) {
    sim::SimOptions options = simAt(9600);
    options.loader = true;
    SimOnPty probe(options);
    ASSERT_TRUE(probe.started());
    ASSERT_TRUE(probe.sim().inLoader());
    EXPECT_EQ(TOV_Connect(probe.port().c_str()), 0);
    EXPECT_FALSE(probe.sim().inLoader());
    EXPECT_EQ(TOV_LineRateGet(), 115200u);
    std::vector<uint8_t> answer;
    EXPECT_EQ(readMemory(answer), 19);
    EXPECT_EQ(TOV_Disconnect(), 0);
    EXPECT_EQ(TOV_Close(), 0);
}

}  // namespace
}  // namespace tov::test
