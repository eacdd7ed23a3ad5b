// On-chip flash of paged 16-bit targets: set-up, erase, the reads of the dump functions, and how
// file loads translate banked addresses and cut blocks for the probe.
#include <gtest/gtest.h>

#include <utility>

#include "link/error_codes.h"
#include "tests/files/files_probe.h"

namespace tov::test {
namespace {

constexpr uint16_t kTranslate = 0x8000;

using Placed = std::pair<uint32_t, Bytes>;

// Programs a file of the given records and returns where each download block went.
std::vector<Placed> program(FilesProbe& probe, const std::string& records, bool load = false) {
    TempDir dir;
    const std::string path = dir.write("image.s19", records);
    uint32_t detail = 0;
    const int32_t rc = load ? probe.session.loadFile(path.c_str(), 0, detail)
                            : probe.session.flashWriteFile(path.c_str(), 0, detail);
    EXPECT_EQ(rc, 0);
    std::vector<Placed> out;
    for (const SeenBlock& b : probe.blocks) out.emplace_back(b.address, b.data);
    return out;
}

Bytes slice(const Bytes& b, size_t from, size_t n) {
    return Bytes(b.begin() + static_cast<long>(from), b.begin() + static_cast<long>(from + n));
}

TEST(PagedFlashSetup, RecordsTheSetUpAfterThePrepareRequest) {
    FilesProbe probe;
    ASSERT_EQ(probe.session.flashSetupHC12(17, kTranslate | 6, 16, 0x20000, 0x3800), 0);
    ASSERT_EQ(probe.link.sent.size(), 1u);
    EXPECT_EQ(probe.link.sent[0].message, hexBytes("8C"));
    EXPECT_EQ(probe.link.sent[0].extraTimeout, 2000);
    const files::WriteModeState& mode = probe.session.writeMode();
    EXPECT_EQ(mode.paged.map, files::PagedSetup::Map::kH2);
    EXPECT_EQ(mode.paged.variant, 17);
    EXPECT_TRUE(mode.paged.translate);
    EXPECT_EQ(mode.paged.flashSize, 0x20000u);
    EXPECT_EQ(mode.modeParameter, 17u);
    EXPECT_EQ(mode.accessCode, 2);
    EXPECT_EQ(mode.flash.type, 6);
    EXPECT_EQ(mode.flash.chipWidth, 2);
    EXPECT_EQ(mode.flash.busWidth, 2);
    EXPECT_EQ(mode.flash.addressMask, 0xFFFE0000u);
    EXPECT_EQ(mode.flash.workspace, 0x3800u);

    // The set-up goes out with the next flash write, with the variant as mode parameter.
    uint32_t result = 0;
    const Bytes data(4, 0x5A);
    ASSERT_EQ(probe.session.flashWriteBlock(0x100, 4, data.data(), result), 0);
    EXPECT_EQ(probe.link.sent[1].message, hexBytes("8D 06 02 FFFE0000 00003800 00000011"));

    struct Case {
        uint16_t variant;
        uint16_t type;
        uint16_t bits;
        files::PagedSetup::Map map;
        uint8_t access;
        uint8_t chip;
        uint32_t mask;
    };
    using Map = files::PagedSetup::Map;
    const Case cases[] = {
        {15, 14, 8, Map::kH1, 0, 1, 0xFFFC0000},  {16, 18, 8, Map::kH2, 0, 1, 0xFFFC0000},
        {20, 20, 16, Map::kH2, 0, 1, 0xFFF80000}, {21, 15, 32, Map::kH1, 1, 1, 0xFFF00000},
        {0, 19, 8, Map::kH1, 1, 1, 0xFFFC0000},   {3, 21, 16, Map::kH1, 1, 1, 0xFFF80000},
        {8, 12, 16, Map::kH1, 2, 2, 0xFFFC0000},  {8, 30, 32, Map::kH1, 2, 2, 0xFFF80000},
        {8, 24, 8, Map::kH1, 2, 2, 0xFFFE0000},   {8, 29, 8, Map::kH1, 2, 1, 0xFFFC0000},
    };
    for (const Case& c : cases) {
        FilesProbe other;
        ASSERT_EQ(other.session.flashSetupHC12(c.variant, c.type, c.bits, 0x40000, 0), 0);
        const files::WriteModeState& m = other.session.writeMode();
        EXPECT_EQ(m.paged.map, c.map) << c.variant;
        EXPECT_FALSE(m.paged.translate);
        EXPECT_EQ(m.accessCode, c.access) << c.type;
        EXPECT_EQ(m.flash.chipWidth, c.chip) << c.type;
        EXPECT_EQ(m.flash.addressMask, c.mask) << c.type;
    }
}

TEST(PagedFlashSetup, RefusesUnknownTypesAndBusWidths) {
    for (uint16_t type : {0, 1, 3, 13, 16, 17, 25, 26, 28, 31, 39}) {
        FilesProbe probe;
        EXPECT_EQ(probe.session.flashSetupHC12(17, kTranslate | type, 16, 0x20000, 0),
                  link::kInvalidParameter);
        EXPECT_TRUE(probe.link.sent.empty());
        EXPECT_FALSE(probe.session.writeMode().paged.active());
    }
    // A refused bus width leaves what was recorded before it in force.
    FilesProbe probe;
    EXPECT_EQ(probe.session.flashSetupHC12(5, 15, 64, 0x20000, 0x1000), link::kInvalidParameter);
    EXPECT_EQ(probe.link.sent.size(), 1u);
    const files::WriteModeState& mode = probe.session.writeMode();
    EXPECT_EQ(mode.paged.map, files::PagedSetup::Map::kH1);
    EXPECT_EQ(mode.flash.type, 15);
    EXPECT_EQ(mode.accessCode, 1);
    EXPECT_EQ(mode.modeParameter, 5u);
    EXPECT_EQ(probe.session.flashSetupHC12(5, 15, 24, 0x20000, 0x1000), link::kInvalidParameter);

    // A prepare request without an answer fails the call and records nothing.
    FilesProbe silent;
    silent.answerPrepare = false;
    EXPECT_LT(silent.session.flashSetupHC12(17, 14, 16, 0x20000, 0), 0);
    EXPECT_FALSE(silent.session.writeMode().paged.active());
    EXPECT_EQ(silent.session.writeMode().flash.type, 0);

    // A new connection clears the set-up.
    probe.session.reset();
    EXPECT_FALSE(probe.session.writeMode().paged.active());
}

TEST(PagedFileLoad, ModeH2TranslatesTheWindowsAndDropsOtherBlocks) {
    FilesProbe probe;
    ASSERT_EQ(probe.session.flashSetupHC12(17, kTranslate | 14, 16, 0x80000, 0), 0);
    const Bytes a = pattern(16, 1), b = pattern(16, 2), c = pattern(32, 3);
    const std::string file = srecordLine(1, 0x0900, a) + srecordLine(1, 0x2000, b) +
                             srecordLine(1, 0x0C10, a) + srecordLine(1, 0xC010, b) +
                             srecordLine(1, 0x4020, a) + srecordLine(2, 0x3C8123, b) +
                             srecordLine(2, 0x0F0900, a) + srecordLine(1, 0xBFF0, c);
    const std::vector<Placed> expected = {
        {0x100100, a},
        {0x13FC10, a},
        {0x7FC010, b},
        {0x7F4020, a},
        {0x4F0123, b},
        {0x103D00, a},
        {0x403FF0, slice(c, 0, 16)},
        {0x404000, slice(c, 16, 16)},
    };
    EXPECT_EQ(program(probe, file), expected);
    EXPECT_EQ(probe.session.writeMode().current, 14);

    // Loads into memory are translated the same way.
    FilesProbe load;
    ASSERT_EQ(load.session.flashSetupHC12(18, kTranslate | 14, 16, 0x80000, 0), 0);
    const std::vector<Placed> loaded = {{0x100100, a}};
    EXPECT_EQ(program(load, srecordLine(1, 0x0900, a) + srecordLine(1, 0x2000, b), true), loaded);

    // Without translation every block goes where the file says.
    FilesProbe plain;
    ASSERT_EQ(plain.session.flashSetupHC12(17, 14, 16, 0x80000, 0), 0);
    const std::vector<Placed> same = {{0x0900, a}, {0x2000, b}};
    EXPECT_EQ(program(plain, srecordLine(1, 0x0900, a) + srecordLine(1, 0x2000, b)), same);
}

TEST(PagedFileLoad, ModeH1MapsTheWindowsIntoTheFlashSize) {
    FilesProbe probe;
    ASSERT_EQ(probe.session.flashSetupHC12(2, kTranslate | 14, 16, 0x40000, 0), 0);
    const Bytes a = pattern(16, 4), b = pattern(8, 5);
    const std::string file = srecordLine(1, 0xC123, a) + srecordLine(1, 0x4010, b) +
                             srecordLine(2, 0x3E8100, a) + srecordLine(1, 0x2000, b);
    const std::vector<Placed> expected = {{0x3C123, a}, {0x38010, b}, {0x38100, a}, {0x2000, b}};
    EXPECT_EQ(program(probe, file), expected);
}

TEST(PagedFileLoad, PiecesAndAddressesFollowTheFlashType) {
    const Bytes d = pattern(32, 6);
    const Bytes head = slice(d, 0, 16), tail = slice(d, 16, 16);
    struct Case {
        uint16_t variant;
        uint16_t type;
        uint32_t flashSize;
        uint32_t at;
        std::vector<Placed> expected;
    };
    const Case cases[] = {
        // Types 15 and 19: banked variants move each 16-KB page, the others take blocks whole.
        {3, 15, 0x20000, 0x13FF0, {{0x4BFF0, head}, {0x58000, tail}}},
        {7, 19, 0x20000, 0x13FF0, {{0x4BFF0, head}, {0x58000, tail}}},
        {5, 19, 0x20000, 0x13FF0, {{0x13FF0, d}}},
        {17, 15, 0x20000, 0x13FF0, {{0x13FF0, d}}},
        // Mode H1, type 21: the page moves to the variant's base; the top of the space folds in.
        {8, 21, 0x20000, 0x7FF0, {{0x31BFF0, head}, {0x328000, tail}}},
        {14, 21, 0x20000, 0x0100, {{0x308100, d}}},
        {9, 21, 0x20000, 0x0100, {{0x388100, d}}},
        {15, 21, 0x20000, 0x0100, {{0x388100, d}}},
        {10, 21, 0x20000, 0x4000, {{0x3D8000, d}}},
        {11, 21, 0x20000, 0x0000, {{0x3E8000, d}}},
        {13, 21, 0x20000, 0xFC010, {{0x278010, d}}},
        {5, 21, 0x20000, 0x0100, {{0x0100, d}}},
        // Mode H2: type 21 in 16-KB pages, type 20 in 1-KB pages, the others unchanged.
        {17, 21, 0x80000, 0xBFF0, {{0x2BFF0, head}, {0x38000, tail}}},
        {16, 20, 0x80000, 0x103F0, {{0x400BF0, head}, {0x410800, tail}}},
        {19, 14, 0x80000, 0x3FF0, {{0x3FF0, head}, {0x4000, tail}}},
        {19, 2, 0x80000, 0x13FF0, {{0x13FF0, head}, {0x14000, tail}}},
        // Mode H1, other types: 16-KB pieces, unchanged.
        {2, 20, 0x80000, 0x103F0, {{0x103F0, d}}},
        {2, 14, 0x80000, 0x7FF0, {{0x7FF0, head}, {0x8000, tail}}},
    };
    for (const Case& c : cases) {
        FilesProbe probe;
        ASSERT_EQ(probe.session.flashSetupHC12(c.variant, c.type, 16, c.flashSize, 0), 0);
        EXPECT_EQ(program(probe, srecordLine(2, c.at, d)), c.expected)
            << "variant " << c.variant << " type " << c.type;
    }

    // The rule follows the current write mode: a plain load is cut at 16 KB, unchanged.
    FilesProbe load;
    ASSERT_EQ(load.session.flashSetupHC12(16, 20, 16, 0x80000, 0), 0);
    const std::vector<Placed> loaded = {{0x103F0, d}};
    EXPECT_EQ(program(load, srecordLine(2, 0x103F0, d), true), loaded);
}

TEST(PagedFlashDump, EveryReadIsPrecededBySetWriteModeWhileTheSetUpIsInForce) {
    FilesProbe probe;
    uint8_t buffer[8];
    ASSERT_EQ(probe.session.dumpBlock(0x1000, 8, buffer), 0);
    EXPECT_EQ(probe.countOf(0x8D), 0u);

    ASSERT_EQ(probe.session.flashSetupHC12(18, kTranslate | 21, 16, 0x80000, 0x2000), 0);
    ASSERT_EQ(probe.session.dumpBlock(0x1000, 8, buffer), 0);
    ASSERT_EQ(probe.session.dumpBlock(0x1008, 8, buffer), 0);
    std::vector<Bytes> seen = probe.requests();
    ASSERT_EQ(seen.size(), 6u);
    EXPECT_EQ(seen[2], hexBytes("8D 00 01 00000000 00000000 00000012"));
    EXPECT_EQ(seen[3][0], 0xB8);
    EXPECT_EQ(seen[4], seen[2]);
    EXPECT_EQ(probe.session.writeMode().current, 0);

    // A flash write afterwards sends the flash set-up again.
    uint32_t result = 0;
    ASSERT_EQ(probe.session.flashWriteBlock(0x8000, 8, buffer, result), 0);
    EXPECT_EQ(probe.requests()[6], hexBytes("8D 15 02 FFF00000 00002000 00000012"));

    // A refused Set write mode stops the read.
    probe.writeModeStatus = 4;
    EXPECT_EQ(probe.session.dumpBlock(0x1000, 8, buffer), link::kInvalidParameter);
    EXPECT_EQ(probe.countOf(0xB8), 3u);

    // After a new connection reads go out alone again.
    probe.session.reset();
    probe.writeModeStatus = 0;
    const size_t before = probe.countOf(0x8D);
    ASSERT_EQ(probe.session.dumpBlock(0x1000, 8, buffer), 0);
    EXPECT_EQ(probe.countOf(0x8D), before);
}

TEST(PagedFlashErase, ProbeTypesUseTheEraseRequestWithTheVariant) {
    FilesProbe probe;
    ASSERT_EQ(probe.session.flashSetupHC12(17, kTranslate | 14, 16, 0x80000, 0x3000), 0);
    ASSERT_EQ(probe.session.flashEraseHC12(0x00400000, 0x00000002), 0);
    std::vector<Bytes> seen = probe.requests();
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[1], hexBytes("8D 00 00 00000000 00000000 00000011"));
    EXPECT_EQ(seen[2], hexBytes("90 0E 01 00000002 00400000 00003000 00000011"));
    EXPECT_EQ(seen[3], hexBytes("91"));
    EXPECT_EQ(probe.session.writeMode().current, 0);

    for (uint16_t type : {15, 18, 19, 20, 21}) {
        FilesProbe other;
        ASSERT_EQ(other.session.flashSetupHC12(4, type, 8, 0x20000, 0), 0);
        ASSERT_EQ(other.session.flashEraseHC12(0x8000, 0), 0);
        EXPECT_EQ(other.requests()[2][1], type);
        EXPECT_EQ(other.requests()[1][2], type == 18 || type == 20 ? 0 : 1);
    }

    probe.eraseResult = 1;
    EXPECT_EQ(probe.session.flashEraseHC12(0x00400000, 0), link::kEraseFailed);
    probe.writeModeStatus = 1;
    const size_t erases = probe.countOf(0x90);
    EXPECT_EQ(probe.session.flashEraseHC12(0x00400000, 0), link::kInvalidWriteMode);
    EXPECT_EQ(probe.countOf(0x90), erases);

    // A type that neither the host nor the probe erases is refused before anything is sent.
    FilesProbe external;
    ASSERT_EQ(external.session.flashSetType(31, 0x80000, 16, 0), 0);
    EXPECT_EQ(external.session.flashEraseHC12(0, 0), link::kInvalidParameter);
    EXPECT_TRUE(external.link.sent.empty());
}

}  // namespace
}  // namespace tov::test
