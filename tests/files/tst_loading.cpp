// Loading and verifying S-record files and buffers on a scripted probe: how records become
// download blocks, the 16-KB split, the offset, record errors, and the write-mode switching.
#include <gtest/gtest.h>

#include "link/error_codes.h"
#include "tests/files/files_probe.h"

namespace tov::test {
namespace {

std::string record(int type, uint32_t address, const Bytes& data, bool lowerCase = false,
                   int checksumError = 0) {
    return srecordLine(type, address, data, lowerCase, checksumError);
}

Bytes slice(const Bytes& b, size_t from, size_t n) {
    return Bytes(b.begin() + static_cast<long>(from), b.begin() + static_cast<long>(from + n));
}

// Records of `size` bytes each covering `data` from `address` on.
std::string records(int type, uint32_t address, const Bytes& data, size_t size) {
    std::string text;
    for (size_t at = 0; at < data.size(); at += size) {
        text += record(type, address + static_cast<uint32_t>(at),
                       slice(data, at, std::min(size, data.size() - at)));
    }
    return text;
}

TEST(LoadFile, ContiguousRecordsFormOneBlockSplitAtSixteenKilobytes) {
    TempDir dir;
    FilesProbe probe;
    const Bytes data = pattern(768, 1);
    const std::string path =
        dir.write("a.s19", "S00600004844521B\n" + records(1, 0x3F00, data, 32) + "S9030000FC\n");
    std::vector<std::pair<uint64_t, uint64_t>> progress;
    probe.session.setProgressHook([&](uint64_t d, uint64_t t) { progress.emplace_back(d, t); });
    uint32_t detail = 7;
    ASSERT_EQ(probe.session.loadFile(path.c_str(), 0, detail), 0);
    EXPECT_EQ(detail, 0u);
    // Write mode is already 0 after a fresh connection: only the download start goes out.
    ASSERT_EQ(probe.requests(), (std::vector<Bytes>{hexBytes("28 00")}));
    ASSERT_EQ(probe.blocks.size(), 2u);
    EXPECT_EQ(probe.blocks[0].address, 0x3F00u);
    EXPECT_EQ(probe.blocks[0].data, slice(data, 0, 256));
    EXPECT_EQ(probe.blocks[1].address, 0x4000u);
    EXPECT_EQ(probe.blocks[1].data, slice(data, 256, 512));
    // Frames carry the block sequence numbers 0 and 1, uncompressed on the network.
    EXPECT_EQ(Bytes(probe.link.sent[1].message.begin(), probe.link.sent[1].message.begin() + 12),
              hexBytes("29 00 00000000 00003F00 0100"));
    EXPECT_EQ(Bytes(probe.link.sent[2].message.begin(), probe.link.sent[2].message.begin() + 12),
              hexBytes("29 00 00000001 00004000 0200"));
    ASSERT_FALSE(progress.empty());
    const uint64_t size = readText(path).size();
    EXPECT_EQ(progress.back(), std::make_pair(size, size));
    for (size_t i = 1; i < progress.size(); ++i)
        EXPECT_GE(progress[i].first, progress[i - 1].first);
}

TEST(LoadFile, BlocksEndAtGapsJumpsAndTheGatherLimit) {
    TempDir dir;
    FilesProbe probe;
    const Bytes a = pattern(16, 3), b = pattern(16, 5);
    const Bytes big = pattern(1280, 9);
    // A record without data and a record of another type inside a run do not end the block;
    // a step back does; 40 records of 32 bytes make one block of 1024 and one of 256.
    std::string text = record(1, 0x1000, a) + record(1, 0x1020, b) + record(2, 0x20000, {}) +
                       "S5030002FA\n" + record(2, 0x20000, slice(big, 0, 32)) +
                       record(2, 0x20000, {}) + "S5030002FA\n" +
                       records(2, 0x20020, slice(big, 32, 1248), 32) + record(2, 0x1FFF0, a);
    uint32_t detail = 0;
    ASSERT_EQ(probe.session.loadFile(dir.write("b.s19", text).c_str(), 0, detail), 0);
    ASSERT_EQ(probe.blocks.size(), 5u);
    EXPECT_EQ(probe.blocks[0].address, 0x1000u);
    EXPECT_EQ(probe.blocks[0].data, a);
    EXPECT_EQ(probe.blocks[1].address, 0x1020u);
    EXPECT_EQ(probe.blocks[1].data, b);
    EXPECT_EQ(probe.blocks[2].address, 0x20000u);
    EXPECT_EQ(probe.blocks[2].data, slice(big, 0, 1024));
    EXPECT_EQ(probe.blocks[3].address, 0x20400u);
    EXPECT_EQ(probe.blocks[3].data, slice(big, 1024, 256));
    EXPECT_EQ(probe.blocks[4].address, 0x1FFF0u);
    EXPECT_EQ(probe.blocks[4].data, a);
}

TEST(LoadFile, BlankLinesOtherTypesLowerCaseAndLineEndsAreAccepted) {
    TempDir dir;
    FilesProbe probe;
    const Bytes d1 = pattern(20, 7), d2 = pattern(12, 8);
    std::string second = record(3, 0x80000014, d2, true);
    second.insert(second.size() - 1, "\r");  // a CR LF line end
    const std::string text = "\n   \n\tS0 anything at all\n" + record(3, 0x80000000, d1, true) +
                             second + "S70500000000FA\n\n" + record(1, 0x10, {0xAB});
    uint32_t detail = 0;
    // The last line has no line end at all.
    ASSERT_EQ(probe.session.loadFile(dir.write("c.s19", text.substr(0, text.size() - 1)).c_str(), 0,
                                     detail),
              0);
    ASSERT_EQ(probe.blocks.size(), 2u);
    EXPECT_EQ(probe.blocks[0].address, 0x80000000u);
    Bytes both = d1;
    both.insert(both.end(), d2.begin(), d2.end());
    EXPECT_EQ(probe.blocks[0].data, both);
    EXPECT_EQ(probe.blocks[1].address, 0x10u);
    EXPECT_EQ(probe.blocks[1].data, Bytes{0xAB});
}

TEST(LoadFile, OffsetIsAddedModuloFourGigabytesBeforeTheSplit) {
    TempDir dir;
    FilesProbe probe;
    const Bytes d = pattern(32, 2);
    const std::string path = dir.write("d.s19", record(1, 0x0010, d) + record(1, 0x3FF0, d));
    uint32_t detail = 0;
    ASSERT_EQ(probe.session.loadFile(path.c_str(), 0xFFFFFFE0u, detail), 0);
    // 0x10 + offset = 0xFFFFFFF0: split at the 4-GB wrap; 0x3FF0 + offset = 0x3FD0: no split.
    ASSERT_EQ(probe.blocks.size(), 3u);
    EXPECT_EQ(probe.blocks[0].address, 0xFFFFFFF0u);
    EXPECT_EQ(probe.blocks[0].data, slice(d, 0, 16));
    EXPECT_EQ(probe.blocks[1].address, 0u);
    EXPECT_EQ(probe.blocks[1].data, slice(d, 16, 16));
    EXPECT_EQ(probe.blocks[2].address, 0x3FD0u);
    EXPECT_EQ(probe.blocks[2].data, d);
    // Without the offset the second record crosses 0x4000.
    FilesProbe plain;
    ASSERT_EQ(plain.session.loadFile(path.c_str(), 0, detail), 0);
    ASSERT_EQ(plain.blocks.size(), 3u);
    EXPECT_EQ(plain.blocks[1].address, 0x3FF0u);
    EXPECT_EQ(plain.blocks[1].data, slice(d, 0, 16));
    EXPECT_EQ(plain.blocks[2].address, 0x4000u);
}

TEST(LoadFile, RecordErrorsFailAndStillEndTheDownload) {
    TempDir dir;
    const Bytes d = pattern(16, 4);
    // A record of 252 data bytes is 514 characters; five trailing blanks make 519.
    const std::string longest = record(1, 0x2000, pattern(252, 6));
    const std::string line519 = longest.substr(0, longest.size() - 1) + "     \n";
    ASSERT_EQ(line519.size(), 520u);
    {
        FilesProbe probe;
        uint32_t detail = 0;
        ASSERT_EQ(probe.session.loadFile(dir.write("ok.s19", line519).c_str(), 0, detail), 0);
        ASSERT_EQ(probe.blocks.size(), 1u);
        EXPECT_EQ(probe.blocks[0].data.size(), 252u);
    }
    const std::string bad[] = {
        "# comment\n",
        record(1, 0x1010, d, false, 1),                  // checksum one off
        line519.substr(0, 519) + " \n",                  // 520 characters
        "S1130000000102030405060708090A0B0C0D0E0G5C\n",  // a non-digit
        "S105000001\n",                                  // shorter than its count
        "S1020000FD\n",                                  // count below address + checksum
        "s1130000000102030405060708090A0B0C0D0E0F5C\n",  // lower-case record mark
    };
    for (const std::string& line : bad) {
        SCOPED_TRACE(line);
        FilesProbe probe;
        // The first block's acknowledgement fails; it is only read when the download is ended,
        // so the detail shows that the download was ended after the record error.
        probe.failBlock = 0;
        probe.failDetail = 0xC0DE;
        uint32_t detail = 0;
        const std::string path = dir.write(
            "bad.s19", record(1, 0x1000, d) + record(1, 0x2000, d) + line + record(1, 0x2010, d));
        EXPECT_EQ(probe.session.loadFile(path.c_str(), 0, detail), link::kFileAccessFailed);
        EXPECT_EQ(detail, 0xC0DEu);
        // The block gathered when the bad line came, and everything after it, stay unsent.
        ASSERT_EQ(probe.blocks.size(), 1u);
        EXPECT_EQ(probe.blocks[0].address, 0x1000u);
    }
}

TEST(LoadFile, FileProblemsGiveFileAccessFailed) {
    TempDir dir;
    FilesProbe probe;
    uint32_t detail = 0;
    EXPECT_EQ(probe.session.loadFile(dir.file("missing.s19").c_str(), 0, detail),
              link::kFileAccessFailed);
    EXPECT_TRUE(probe.link.sent.empty());
    // A directory opens but cannot be read: the download is started and ended, then -1207.
    EXPECT_EQ(probe.session.loadFile(dir.file("").c_str(), 0, detail), link::kFileAccessFailed);
    EXPECT_EQ(probe.requests(), (std::vector<Bytes>{hexBytes("28 00")}));
    // An empty file is a valid, empty load.
    EXPECT_EQ(probe.session.loadFile(dir.write("empty.s19", "").c_str(), 0, detail), 0);
    EXPECT_TRUE(probe.blocks.empty());
}

TEST(LoadFile, LargeFileAcrossManyReadChunksArrivesWhole) {
    TempDir dir;
    FilesProbe probe;
    // About 600 KB of text, so lines straddle the reader's chunk boundaries many times.
    const Bytes data = pattern(300000, 11);
    const std::string path = dir.write("big.s28", records(2, 0x100000, data, 30));
    uint32_t detail = 0;
    ASSERT_EQ(probe.session.loadFile(path.c_str(), 0, detail), 0);
    Bytes got;
    uint32_t next = 0x100000;
    for (const SeenBlock& b : probe.blocks) {
        ASSERT_EQ(b.address, next);
        ASSERT_LE(b.data.size(), 1024u);
        // No block crosses a 16-KB boundary.
        ASSERT_EQ(b.address / 0x4000, (b.address + b.data.size() - 1) / 0x4000);
        got.insert(got.end(), b.data.begin(), b.data.end());
        next += static_cast<uint32_t>(b.data.size());
    }
    EXPECT_EQ(got, data);
}

TEST(WriteMode, SetOnlyWhenTheModeChangesAndRecordedEvenOnFailure) {
    FilesProbe probe;
    const Bytes d = pattern(8, 1);
    uint32_t result = 0;
    ASSERT_EQ(probe.session.verifyBlock(0x100, 8, d.data(), result), 0);
    EXPECT_EQ(result, 0x12345678u);
    ASSERT_EQ(probe.session.verifyBlock(0x108, 8, d.data(), result), 0);
    ASSERT_EQ(probe.session.loadBlock(0x110, 8, d.data(), result), 0);
    ASSERT_EQ(probe.session.loadBlock(0x118, 8, d.data(), result), 0);
    EXPECT_EQ(probe.requests(), (std::vector<Bytes>{
                                    hexBytes("8D 01 00 00000000 00000000 00000000"),
                                    cat(hexBytes("85 00000100 0008"), d),
                                    cat(hexBytes("85 00000108 0008"), d),
                                    hexBytes("8D 00 00 00000000 00000000 00000000"),
                                    cat(hexBytes("85 00000110 0008"), d),
                                    cat(hexBytes("85 00000118 0008"), d),
                                }));
    // A rejected mode is returned, nothing is transferred, and the mode counts as set.
    probe.link.sent.clear();
    probe.writeModeStatus = 1;
    TempDir dir;
    const std::string path = dir.write("v.s19", record(1, 0x100, d));
    uint32_t detail = 0;
    EXPECT_EQ(probe.session.verifyFile(path.c_str(), 0, detail), link::kInvalidWriteMode);
    EXPECT_EQ(probe.requests(),
              (std::vector<Bytes>{hexBytes("8D 01 00 00000000 00000000 00000000")}));
    probe.writeModeStatus = 0;
    EXPECT_EQ(probe.session.verifyFile(path.c_str(), 0, detail), 0);
    EXPECT_EQ(probe.countOf(0x8D), 1u);
    // Loading after verifying switches back once.
    EXPECT_EQ(probe.session.loadFile(path.c_str(), 0, detail), 0);
    EXPECT_EQ(probe.session.loadFile(path.c_str(), 0, detail), 0);
    EXPECT_EQ(probe.countOf(0x8D), 2u);
    EXPECT_EQ(probe.link.sent.back().message[0], 0x29);
}

TEST(WriteMode, ProbeFailuresMapToLoadAndVerifyCodes) {
    TempDir dir;
    const std::string path = dir.write("m.s19", record(1, 0x100, pattern(64, 3)));
    {
        FilesProbe probe;
        probe.writeBlockStatus = 2;
        const Bytes d(4, 0);
        uint32_t result = 0;
        EXPECT_EQ(probe.session.verifyBlock(0, 4, d.data(), result), link::kVerifyFailed);
        EXPECT_EQ(probe.session.loadBlock(0, 4, d.data(), result), link::kDownloadFailed);
    }
    for (bool verify : {false, true}) {
        FilesProbe probe;
        probe.failBlock = 0;
        probe.failDetail = 0x00010203;
        uint32_t detail = 0;
        const int32_t rc = verify ? probe.session.verifyFile(path.c_str(), 0, detail)
                                  : probe.session.loadFile(path.c_str(), 0, detail);
        EXPECT_EQ(rc, verify ? link::kVerifyFailed : link::kDownloadFailed);
        EXPECT_EQ(detail, 0x00010203u);
    }
}

}  // namespace
}  // namespace tov::test
