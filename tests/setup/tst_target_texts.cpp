// The target test's texts: family lines, version texts, CPU type names, setup time and states.
#include <gtest/gtest.h>

#include "setup/target_texts.h"

namespace tov::setup {
namespace {

TEST(TargetTexts, FirmwareLinesAndCpuNames) {
    EXPECT_EQ(firmwareLine(40, 5), "- Firmware:\tV 0.05 for ARM11");
    EXPECT_EQ(firmwareLine(10, 123), "- Firmware:\tV 1.23 for ARM7/ARM9");
    EXPECT_EQ(firmwareLine(17, 0), "- Firmware:\tV unknown for PPC6xx/7xx/82xx/74xx");
    EXPECT_EQ(firmwareLine(41, 256), "- Firmware:\tV unknown for unknown target");
    EXPECT_EQ(firmwareLine(0, 255), "- Firmware:\tV 2.55 for CPU16/CPU32");

    EXPECT_EQ(cpuTypeLine(0x8821), "- CPU Type:\tARM1136");
    EXPECT_EQ(cpuTypeName(0x8404), "MPC8xx");
    EXPECT_EQ(cpuTypeName(0x8503), "MPC5xx");
    EXPECT_EQ(cpuTypeName(0x8504), "unknown");
    EXPECT_EQ(cpuTypeLine(0x03C2), "- CPU Type:\tunknown");
    EXPECT_EQ(cpuTypeName(0x9202), "MPC8540");
    EXPECT_EQ(cpuTypeName(0x03C9), "HCS12 256k (4x64k) Flash");
}

TEST(TargetTexts, SetupTimeLineOnlyForAStoredTime) {
    EXPECT_TRUE(setupTimeLines(0).empty());
    const auto lines = setupTimeLines(1700000000);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("- Setup Time:\t", 0), 0u);
    EXPECT_GT(lines[0].size(), std::string("- Setup Time:\t").size() + 8);
}

const char* errorText(int32_t code) {
    return code == -2006 ? "BDM: some failure" : "other";
}

TEST(TargetTexts, StateLines) {
    using Lines = std::vector<std::string>;
    EXPECT_EQ(stateLines({0, 0, 0, {}}, errorText), Lines{"- Target State:\tRESETED"});
    EXPECT_EQ(
        stateLines({1, 0, 250, {0, 0x1234ABCD, 0x1D3}}, errorText),
        (Lines{"- Target State:\tREADY", "- Reset Time:\t250", "- Program Counter:\t0x1234ABCD"}));
    EXPECT_EQ(stateLines({2, 0, 0, {}}, errorText), Lines{"- Target State:\tRUNNING"});
    EXPECT_EQ(stateLines({3, -2006, 0, {}}, errorText),
              (Lines{"- Target State:\tERROR", "- Error Info:\tBDM: some failure"}));
    EXPECT_EQ(stateLines({7, 0, 0, {}}, errorText), Lines{"- Target State:\tUNKNOWN"});
}

}  // namespace
}  // namespace tov::setup
