// Fixed on-chip flash set-ups and erases done by the probe, and programming an S-record file into
// row-organised on-chip flash.
#include <gtest/gtest.h>

#include "link/error_codes.h"
#include "tests/files/files_probe.h"

namespace tov::test {
namespace {

// A download block as the probe saw it: address and data.
std::pair<uint32_t, Bytes> placed(const Bytes& m) {
    return {be32(m, 6), Bytes(m.begin() + 12, m.end())};
}

std::vector<Bytes> sentWith(const FilesProbe& probe, uint8_t code) {
    std::vector<Bytes> out;
    for (const SentRequest& r : probe.link.sent) {
        if (r.message[0] == code) out.push_back(r.message);
    }
    return out;
}

TEST(OnChipFlashSetup, RowFlashSetUpAndErase) {
    FilesProbe probe;
    ASSERT_EQ(probe.session.flashSetup555(16, 0x00C0FFEE, 0x3F9800), 0);
    ASSERT_EQ(probe.link.sent.size(), 1u);
    EXPECT_EQ(probe.link.sent[0].message, hexBytes("8C"));
    EXPECT_EQ(probe.link.sent[0].extraTimeout, 2000);
    uint32_t result = 0;
    const Bytes data(8, 0x11);
    ASSERT_EQ(probe.session.flashWriteBlock(0x100, 8, data.data(), result), 0);
    EXPECT_EQ(probe.link.sent[1].message, hexBytes("8D 10 02 00000000 003F9800 00C0FFEE"));

    ASSERT_EQ(probe.session.flashErase555(0x40000, 0x3, true, 0x1234, 0x5000), 0);
    ASSERT_EQ(probe.session.flashErase555(0x80000, 0xFF, false, 0x1234, 0x5000), 0);
    const std::vector<Bytes> erases = sentWith(probe, 0x90);
    ASSERT_EQ(erases.size(), 2u);
    EXPECT_EQ(erases[0], hexBytes("90 10 01 00000003 00040000 00005000 00001234"));
    EXPECT_EQ(erases[1], hexBytes("90 10 00 000000FF 00080000 00005000 00001234"));
    EXPECT_EQ(sentWith(probe, 0x91).size(), 2u);
    probe.eraseResult = 2;
    EXPECT_EQ(probe.session.flashErase555(0, 0, true, 0, 0), link::kEraseFailed);

    FilesProbe second;
    ASSERT_EQ(second.session.flashSetup555(17, 1, 2), 0);
    EXPECT_EQ(second.session.writeMode().flash.type, 17);
    ASSERT_EQ(second.session.flashErase555(0, 0, true, 1, 2), 0);
    EXPECT_EQ(sentWith(second, 0x90)[0][1], 16);

    for (uint16_t type : {0, 15, 18, 21, 25}) {
        FilesProbe refused;
        EXPECT_EQ(refused.session.flashSetup555(type, 0, 0), link::kInvalidParameter);
        EXPECT_TRUE(refused.link.sent.empty());
    }
    FilesProbe silent;
    silent.answerPrepare = false;
    EXPECT_LT(silent.session.flashSetup555(16, 0, 0), 0);
    EXPECT_NE(silent.session.writeMode().flash.type, 16);
}

TEST(OnChipFlashSetup, OtherFlashSetUpsAndErases) {
    FilesProbe probe;
    probe.session.writeMode().modeParameter = 0x77;
    ASSERT_EQ(probe.session.flashSetupUC3F(26, 0x2000), 0);
    uint32_t result = 0;
    const Bytes data(8, 0x22);
    ASSERT_EQ(probe.session.flashWriteBlock(0x100, 8, data.data(), result), 0);
    EXPECT_EQ(probe.link.sent[0].message, hexBytes("8C"));
    EXPECT_EQ(probe.link.sent[1].message, hexBytes("8D 1A 02 00000000 00002000 00000000"));
    ASSERT_EQ(probe.session.flashEraseUC3F(0x10000, 5, true, 0x4000), 0);
    ASSERT_EQ(probe.session.flashEraseUC3F(0x20000, 6, false, 0x4000), 0);
    const std::vector<Bytes> erases = sentWith(probe, 0x90);
    EXPECT_EQ(erases[0], hexBytes("90 19 01 00000005 00010000 00004000 00000000"));
    EXPECT_EQ(erases[1], hexBytes("90 19 00 00000006 00020000 00004000 00000000"));
    for (uint16_t type : {24, 27, 16}) {
        FilesProbe refused;
        EXPECT_EQ(refused.session.flashSetupUC3F(type, 0), link::kInvalidParameter);
        EXPECT_TRUE(refused.link.sent.empty());
    }

    FilesProbe sgfm;
    ASSERT_EQ(sgfm.session.flashSetupSGFM(0xAB, 0x20000000), 0);
    ASSERT_EQ(sgfm.session.flashWriteBlock(0x100, 8, data.data(), result), 0);
    EXPECT_EQ(sgfm.link.sent[1].message, hexBytes("8D 15 04 00000000 20000000 000000AB"));
    ASSERT_EQ(sgfm.session.flashEraseSector(0x4000), 0);
    ASSERT_EQ(sgfm.session.flashErase(2, 0), 0);
    const std::vector<Bytes> sgfmErases = sentWith(sgfm, 0x90);
    EXPECT_EQ(sgfmErases[0], hexBytes("90 15 01 00000000 00004000 20000000 000000AB"));
    EXPECT_EQ(sgfmErases[1], hexBytes("90 15 00 00000000 00000000 20000000 000000AB"));
}

TEST(RowFlashWrite, SendsMaskedRowsOfBothHalves) {
    FilesProbe probe;
    ASSERT_EQ(probe.session.flashSetup555(16, 0x10, 0x3F9800), 0);
    const Bytes r0 = pattern(64, 1), r1 = pattern(64, 2), r7 = pattern(64, 3);
    const Bytes h0 = pattern(64, 4), h5 = pattern(64, 5);
    Bytes partial(64, 0xFF);
    partial[5] = 0x12;
    const std::string file = srecordLine(3, 0x00400000, r0) + srecordLine(3, 0x00410005, {0x12}) +
                             srecordLine(3, 0x00438000, r7) + srecordLine(3, 0x00408040, r1) +
                             srecordLine(3, 0x00420000, Bytes(64, 0xFF)) +
                             srecordLine(3, 0x00440000, h0) + srecordLine(3, 0x0046FFC0, h5);
    TempDir dir;
    const std::string path = dir.write("cmf.s19", file);
    uint32_t detail = 0;
    ASSERT_EQ(probe.session.flashWrite555(path.c_str(), detail), 0);

    const std::vector<Bytes> modes = sentWith(probe, 0x8D);
    ASSERT_EQ(modes.size(), 1u);
    EXPECT_EQ(modes[0], hexBytes("8D 10 04 00000000 003F9800 80000010"));
    const std::vector<Bytes> blocks = sentWith(probe, 0x29);
    ASSERT_EQ(blocks.size(), 4u);
    EXPECT_EQ(placed(blocks[0]),
              std::make_pair(0x00400000u, cat(cat(cat({0xA1}, r0), partial), r7)));
    EXPECT_EQ(placed(blocks[1]), std::make_pair(0x00400040u, cat({0x40}, r1)));
    EXPECT_EQ(placed(blocks[2]), std::make_pair(0x00440000u, cat({0x80}, h0)));
    EXPECT_EQ(placed(blocks[3]), std::make_pair(0x00447FC0u, cat({0x04}, h5)));
    EXPECT_EQ(sentWith(probe, 0x28).size(), 1u);

    // The next block write sends the plain set-up again.
    uint32_t result = 0;
    ASSERT_EQ(probe.session.flashWriteBlock(0x100, 4, r0.data(), result), 0);
    EXPECT_EQ(sentWith(probe, 0x8D).back(), hexBytes("8D 10 02 00000000 003F9800 00000010"));

    // The base of the last record counts for the whole image.
    FilesProbe moved;
    ASSERT_EQ(moved.session.flashSetup555(16, 0, 0), 0);
    const std::string path2 =
        dir.write("moved.s19", srecordLine(3, 0x00400000, r0) + srecordLine(3, 0x00800040, r1));
    ASSERT_EQ(moved.session.flashWrite555(path2.c_str(), detail), 0);
    const std::vector<Bytes> movedBlocks = sentWith(moved, 0x29);
    ASSERT_EQ(movedBlocks.size(), 2u);
    EXPECT_EQ(placed(movedBlocks[0]).first, 0x00800000u);
    EXPECT_EQ(placed(movedBlocks[1]).first, 0x00800040u);
}

TEST(RowFlashWrite, RefusesOtherTypesBadFilesAndReportsProgrammingFailure) {
    TempDir dir;
    uint32_t detail = 0;
    const std::string good = dir.write("good.s19", srecordLine(2, 0x100, pattern(16, 1)));

    FilesProbe other;
    ASSERT_EQ(other.session.flashSetup555(17, 0, 0), 0);
    EXPECT_EQ(other.session.flashWrite555(good.c_str(), detail), link::kInvalidParameter);
    EXPECT_EQ(other.link.sent.size(), 1u);

    const std::string beyond = dir.write("beyond.s19", srecordLine(3, 0x6FFF8, pattern(16, 2)));
    const std::string last = dir.write("last.s19", srecordLine(3, 0x6FFF0, pattern(16, 3)));
    const std::string bad = dir.write("bad.s19", srecordLine(2, 0x100, pattern(4, 1), false, 1));
    for (const std::string& path : {beyond, bad, dir.file("missing.s19")}) {
        FilesProbe probe;
        ASSERT_EQ(probe.session.flashSetup555(16, 0, 0), 0);
        EXPECT_EQ(probe.session.flashWrite555(path.c_str(), detail), link::kFileAccessFailed);
        EXPECT_EQ(probe.link.sent.size(), 1u);
    }
    FilesProbe fits;
    ASSERT_EQ(fits.session.flashSetup555(16, 0, 0), 0);
    ASSERT_EQ(fits.session.flashWrite555(last.c_str(), detail), 0);
    ASSERT_EQ(sentWith(fits, 0x29).size(), 1u);
    EXPECT_EQ(placed(sentWith(fits, 0x29)[0]).first, 0x47FC0u);

    FilesProbe failing;
    failing.failBlock = 0;
    failing.failDetail = 0xBEEF;
    ASSERT_EQ(failing.session.flashSetup555(16, 0, 0), 0);
    EXPECT_EQ(failing.session.flashWrite555(good.c_str(), detail), link::kProgramFailed);
    EXPECT_EQ(detail, 0xBEEFu);

    FilesProbe refused;
    ASSERT_EQ(refused.session.flashSetup555(16, 0, 0), 0);
    refused.writeModeStatus = 3;
    EXPECT_EQ(refused.session.flashWrite555(good.c_str(), detail), link::kWorkingRamFailed);
    EXPECT_TRUE(sentWith(refused, 0x29).empty());
}

}  // namespace
}  // namespace tov::test
