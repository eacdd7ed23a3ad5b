// The library against the simulator's loader over a real pseudo-terminal: connecting restarts a
// probe in its loader into the firmware, and Enter loader hands the link back to the loader.
#include <gtest/gtest.h>
#include <unistd.h>

#include <vector>

#include "include/tovlink.h"
#include "tests/support/sim_fixture.h"

namespace tov::test {
namespace {

int32_t ask(std::vector<uint8_t> request, std::vector<uint8_t>& answer, int32_t extraTimeout) {
    answer.assign(1500, 0);
    const int32_t rc = TOV_Transaction(static_cast<int32_t>(request.size()), request.data(), 1500,
                                       answer.data(), extraTimeout);
    if (rc > 0) answer.resize(static_cast<size_t>(rc));
    return rc;
}

class LoaderSim : public ::testing::TestWithParam<sim::ProbeModel> {
protected:
    void TearDown() override { TOV_Close(); }
};

TEST_P(LoaderSim, ConnectStartsTheFirmwareAndEnterLoaderReturnsToTheLoader) {
    sim::SimOptions options = simAt(115200);
    options.model = GetParam();
    options.loader = true;
    SimOnPty probe(options);
    ASSERT_TRUE(probe.started());
    ASSERT_TRUE(probe.sim().inLoader());
    ASSERT_EQ(TOV_Connect(probe.port().c_str()), 0);
    EXPECT_FALSE(probe.sim().inLoader());

    std::vector<uint8_t> answer;
    ASSERT_EQ(ask({0x72}, answer, 100), 1);
    EXPECT_EQ(answer[0], 0x72);
    TOV_Close();
    usleep(1000 * 1000);
    ASSERT_EQ(TOV_Open(probe.port().c_str()), 0);
    EXPECT_TRUE(probe.sim().inLoader());

    const int32_t expected = GetParam() == sim::ProbeModel::A ? 23 : 15;
    ASSERT_EQ(ask({0x64}, answer, 1000), expected);
    EXPECT_EQ(answer[0], 0x64);
    // The loader answers the flash requests: the network record's MAC prefix.
    const uint8_t high = GetParam() == sim::ProbeModel::A ? 0x00 : 0x01;
    const uint8_t middle = GetParam() == sim::ProbeModel::A ? 0x08 : 0x00;
    const uint8_t low = GetParam() == sim::ProbeModel::A ? 0x40 : 0x80;
    ASSERT_EQ(ask({0x65, high, middle, low, 0x00, 0x00, 0x03}, answer, 1000), 10);
    EXPECT_EQ(std::vector<uint8_t>(answer.begin() + 7, answer.end()),
              (std::vector<uint8_t>{0x02, 0xC1, 0xA5}));
}

INSTANTIATE_TEST_SUITE_P(Models, LoaderSim,
                         ::testing::Values(sim::ProbeModel::B, sim::ProbeModel::A),
                         [](const auto& info) { return std::string(sim::modelName(info.param)); });

}  // namespace
}  // namespace tov::test
