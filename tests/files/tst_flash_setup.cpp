// Flash set-up: the type table's checks, bank masks, and when the set-up goes to the probe with
// block and file programming.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "link/error_codes.h"
#include "tests/files/flash_wire_probe.h"

namespace tov::test {
namespace {

TEST(FlashSetType, RecordsWidthsMaskAndWorkspaceAndSendsNothing) {
    FlashWireProbe probe;
    const files::FlashSetup& flash = probe.session.writeMode().flash;
    ASSERT_EQ(probe.session.flashSetType(2, 0x80000, 32, 0), 0);
    EXPECT_EQ(flash.type, 2);
    EXPECT_EQ(flash.busWidth, 4);
    EXPECT_EQ(flash.chipWidth, 1);
    EXPECT_EQ(flash.addressMask, 0xFFE00000u);
    EXPECT_TRUE(flash.pending);
    EXPECT_TRUE(probe.link.sent.empty());

    // Word chips side by side: the bank is chip size times the number of chips.
    ASSERT_EQ(probe.session.flashSetType(6, 0x100000, 32, 0x00400000), 0);
    EXPECT_EQ(flash.chipWidth, 2);
    EXPECT_EQ(flash.busWidth, 4);
    EXPECT_EQ(flash.addressMask, 0xFFE00000u);
    EXPECT_EQ(flash.workspace, 0x00400000u);
    ASSERT_EQ(probe.session.flashSetType(36, 0x400000, 32, 0), 0);
    EXPECT_EQ(flash.chipWidth, 4);
    EXPECT_EQ(flash.addressMask, 0xFFC00000u);
    ASSERT_EQ(probe.session.flashSetType(31, 0x80000, 64, 0), 0);
    EXPECT_EQ(flash.busWidth, 8);
    EXPECT_EQ(flash.addressMask, 0xFFC00000u);
    ASSERT_EQ(probe.session.flashSetType(11, 0x10000, 8, 0), 0);
    EXPECT_EQ(flash.busWidth, 1);
    EXPECT_EQ(flash.addressMask, 0xFFFF0000u);
    // A bank of 4 GB or more leaves no bank bits: the mask is 0, not an overflow.
    ASSERT_EQ(probe.session.flashSetType(2, 0x80000000, 64, 0), 0);
    EXPECT_EQ(flash.addressMask, 0u);
    EXPECT_TRUE(probe.link.sent.empty());
}

TEST(FlashSetType, RejectsUnknownTypesAndBusWidths) {
    FlashWireProbe probe;
    files::FlashSetup& flash = probe.session.writeMode().flash;
    ASSERT_EQ(probe.session.flashSetType(2, 0x80000, 16, 0x100), 0);
    flash.pending = false;
    for (uint16_t type : {0, 1, 3, 13, 14, 16, 21, 25, 42, 0x102}) {
        EXPECT_EQ(probe.session.flashSetType(type, 0x80000, 16, 0), link::kInvalidParameter)
            << type;
        EXPECT_EQ(flash.type, 2) << type;
        EXPECT_FALSE(flash.pending) << type;
    }
    // A bad bus width is found after the type was taken; the rest stays as it was.
    EXPECT_EQ(probe.session.flashSetType(5, 0x80000, 24, 0), link::kInvalidParameter);
    EXPECT_EQ(flash.type, 5);
    EXPECT_EQ(flash.busWidth, 2);
    EXPECT_EQ(flash.workspace, 0x100u);
    for (uint16_t bits : {0, 1, 4, 12, 128}) {
        EXPECT_EQ(probe.session.flashSetType(2, 0x80000, bits, 0), link::kInvalidParameter);
    }
    EXPECT_TRUE(probe.link.sent.empty());
}

TEST(FlashWriteBlock, SendsTheSetUpOnceUntilAnotherModeIsSelected) {
    FlashWireProbe probe;
    probe.session.writeMode().modeParameter = 0x01020304;
    ASSERT_EQ(probe.session.flashSetType(2, 0x80000, 32, 0x00001000), 0);
    const uint8_t data[4] = {1, 2, 3, 4};
    uint32_t result = 0;
    ASSERT_EQ(probe.session.flashWriteBlock(0x00200000, 4, data, result), 0);
    EXPECT_EQ(result, 0x1234u);
    ASSERT_EQ(probe.session.flashWriteBlock(0x00200004, 4, data, result), 0);
    ASSERT_EQ(probe.link.sent.size(), 3u);
    EXPECT_EQ(probe.link.sent[0].message, hexBytes("8D 02 04 FFE00000 00001000 01020304"));
    EXPECT_EQ(probe.link.sent[0].extraTimeout, 3000);
    EXPECT_EQ(probe.link.sent[1].message, hexBytes("85 00200000 0004 01020304"));
    EXPECT_EQ(probe.link.sent[2].message, hexBytes("85 00200004 0004 01020304"));

    // A load selects write mode; the next flash write describes the flash again.
    ASSERT_EQ(probe.session.loadBlock(0x1000, 4, data, result), 0);
    ASSERT_EQ(probe.session.flashWriteBlock(0x00200008, 4, data, result), 0);
    ASSERT_EQ(probe.sentWith(0x8D).size(), 3u);
    EXPECT_EQ(probe.sentWith(0x8D)[1], hexBytes("8D 00 00 00000000 00000000 01020304"));
    EXPECT_EQ(probe.sentWith(0x8D)[2], hexBytes("8D 02 04 FFE00000 00001000 01020304"));

    // A new set-up of the same type is sent although the mode did not change.
    ASSERT_EQ(probe.session.flashSetType(2, 0x80000, 16, 0x00001000), 0);
    ASSERT_EQ(probe.session.flashWriteBlock(0x00200000, 4, data, result), 0);
    ASSERT_EQ(probe.sentWith(0x8D).size(), 4u);
    EXPECT_EQ(probe.sentWith(0x8D)[3], hexBytes("8D 02 02 FFF00000 00001000 01020304"));
}

TEST(FlashWriteBlock, ProbeErrorsBecomeProgrammingFailures) {
    FlashWireProbe probe;
    ASSERT_EQ(probe.session.flashSetType(12, 0x40000, 16, 0), 0);
    const uint8_t data[2] = {0xAB, 0xCD};
    uint32_t result = 0;
    probe.setModeStatus = 3;
    EXPECT_EQ(probe.session.flashWriteBlock(0x100, 2, data, result), link::kWorkingRamFailed);
    EXPECT_TRUE(probe.sentWith(0x85).empty());
    // The failed set-up is not pending any more: the next write goes straight to the data.
    probe.setModeStatus = 0;
    probe.writeBlockStatus = 2;
    EXPECT_EQ(probe.session.flashWriteBlock(0x100, 2, data, result), link::kProgramFailed);
    EXPECT_EQ(probe.sentWith(0x8D).size(), 1u);
    EXPECT_EQ(probe.sentWith(0x85).size(), 1u);
}

class FlashWriteFile : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = std::filesystem::temp_directory_path() /
                ("tst_flash_" + std::to_string(::getpid()) + ".s19");
        std::ofstream out(path_);
        // 4 bytes at 0x1000 and 4 more right behind them: one block.
        out << "S1071000DEADBEEFB0\nS107100401020304DA\n";
    }
    void TearDown() override { std::filesystem::remove(path_); }
    std::filesystem::path path_;
};

TEST_F(FlashWriteFile, SendsTheSetUpThenTheFileAtTheOffset) {
    FlashWireProbe probe;
    ASSERT_EQ(probe.session.flashSetType(31, 0x80000, 8, 0x2000), 0);
    uint32_t detail = 7;
    ASSERT_EQ(probe.session.flashWriteFile(path_.c_str(), 0x00100000, detail), 0);
    EXPECT_EQ(detail, 0u);
    ASSERT_GE(probe.link.sent.size(), 3u);
    EXPECT_EQ(probe.link.sent[0].message, hexBytes("8D 1F 01 FFF80000 00002000 00000000"));
    EXPECT_EQ(probe.link.sent[1].message[0], 0x28);
    ASSERT_EQ(probe.blocks.size(), 1u);
    EXPECT_EQ(probe.blocks[0], hexBytes("29 00 00000000 00101000 0008 DEADBEEF 01020304"));

    // Already set up: the second file goes without Set write mode, and a failure of the
    // programming is reported as such with the probe's detail.
    probe.downloadStatus = 5;
    EXPECT_EQ(probe.session.flashWriteFile(path_.c_str(), 0, detail), link::kProgramFailed);
    EXPECT_EQ(detail, 0xD00Du);
    EXPECT_EQ(probe.sentWith(0x8D).size(), 1u);
}

TEST_F(FlashWriteFile, RejectedSetUpSendsNoFile) {
    FlashWireProbe probe;
    ASSERT_EQ(probe.session.flashSetType(2, 0x80000, 8, 0), 0);
    probe.setModeStatus = 1;
    uint32_t detail = 0;
    EXPECT_EQ(probe.session.flashWriteFile(path_.c_str(), 0, detail), link::kInvalidWriteMode);
    EXPECT_TRUE(probe.sentWith(0x28).empty());
    probe.setModeStatus = 0;
    EXPECT_EQ(probe.session.flashWriteFile("/nonexistent/file.s19", 0, detail),
              link::kFileAccessFailed);
}

}  // namespace
}  // namespace tov::test
