// On-chip flash programmed and erased through the exported functions against the simulator's
// on-chip flash over the pseudo-terminal: the row-organised flash of a 32-bit controller, the
// paged flash of 16-bit targets with their address maps, and the probe's sector erases.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "include/tovlink.h"
#include "tests/support/sim_fixture.h"

namespace tov::sim {

// Logged blocks in failure messages: "download 0x40080+65 lead 0x80".
inline void PrintTo(const ProgrammedBlock& b, std::ostream* out) {
    char text[64];
    std::snprintf(text, sizeof text, "%s 0x%X+%u lead 0x%02X",
                  b.source == ProgrammedBlock::Source::WriteBlock ? "write" : "download", b.address,
                  b.length, b.lead);
    *out << text;
}

}  // namespace tov::sim

namespace tov::test {
namespace {

using Bytes = std::vector<uint8_t>;
using Source = sim::ProgrammedBlock::Source;

constexpr int32_t kFileFailed = -1207;
constexpr int32_t kEraseFailed = -1208;
constexpr uint32_t kWorkspace = 0x02000000;  // target RAM outside every flash
constexpr uint16_t kTranslate = 0x8000;

// The byte a test file holds at an address: varied, so that misplaced data shows.
uint8_t fileByte(uint32_t address) {
    return static_cast<uint8_t>(address * 13 + (address >> 7) + 1);
}

Bytes fileBytes(uint32_t address, size_t length) {
    Bytes data(length);
    for (size_t i = 0; i < length; ++i) data[i] = fileByte(address + static_cast<uint32_t>(i));
    return data;
}

// One S1, S2 or S3 record line, by the size of the address.
std::string recordLine(uint32_t address, const Bytes& data) {
    const int addressBytes = address <= 0xFFFF ? 2 : address <= 0xFFFFFF ? 3 : 4;
    const auto count = static_cast<unsigned>(addressBytes + data.size() + 1);
    char hex[4];
    std::snprintf(hex, sizeof hex, "S%d", addressBytes - 1);
    std::string line = hex;
    unsigned sum = count;
    auto put = [&](unsigned byte) {
        std::snprintf(hex, sizeof hex, "%02X", byte & 0xFF);
        line += hex;
    };
    put(count);
    for (int i = addressBytes - 1; i >= 0; --i) {
        const unsigned byte = (address >> (8 * i)) & 0xFF;
        sum += byte;
        put(byte);
    }
    for (uint8_t byte : data) {
        sum += byte;
        put(byte);
    }
    put(~sum);
    return line + "\n";
}

struct Record {
    uint32_t address;
    Bytes data;
};

void writeFile(const std::string& path, const std::vector<Record>& records) {
    std::ofstream out(path);
    out << "S0030000FC\n";
    for (const Record& r : records) out << recordLine(r.address, r.data);
    out << "S9030000FC\n";
}

// A simulator with on-chip flash, connected through the library.
class OnChip {
public:
    explicit OnChip(sim::ChipFlashConfig chip, std::vector<uint32_t> failing = {}) {
        sim::SimOptions options = simAt(115200);
        options.chipFlash = chip;
        options.flashFailErase = std::move(failing);
        probe_ = std::make_unique<SimOnPty>(options);
        connected_ = probe_->started() && TOV_Connect(probe_->port().c_str()) == 0;
    }
    ~OnChip() { TOV_Disconnect(); }
    bool connected() const { return connected_; }
    sim::Simulator& sim() { return probe_->sim(); }
    std::string file(const std::string& name) const {
        return probe_->path().substr(0, probe_->path().rfind('/') + 1) + name;
    }

private:
    std::unique_ptr<SimOnPty> probe_;
    bool connected_ = false;
};

TEST(OnChipSim, RowFlashIsProgrammedRowByRowSkippingBlankRows) {
    OnChip target({0, 0x70000, 0x8000});
    ASSERT_TRUE(target.connected());
    // Rows are 64 bytes; row r of the eight 32-KB blocks k of a half goes in one block.
    const std::vector<Record> records = {
        {0x00000, fileBytes(0x00000, 32)},  // row 0 of block 0, in two records
        {0x00020, fileBytes(0x00020, 32)},
        {0x08000, Bytes(16, 0xFF)},         // row 0 of block 1: only erased bytes, stays blank
        {0x10010, fileBytes(0x10010, 20)},  // row 0 of block 2, part of it
        {0x38140, fileBytes(0x38140, 64)},  // row 5 of block 7
        {0x1FFC8, fileBytes(0x1FFC8, 10)},  // the last row (511) of block 3
        {0x40040, fileBytes(0x40040, 16)},  // upper half: row 1 of its block 0
        {0x40070, fileBytes(0x40070, 32)},  // across rows 1 and 2 of that block
        {0x68050, fileBytes(0x68050, 8)},   // row 1 of the upper half's block 5
        {0x6FFC0, fileBytes(0x6FFC0, 64)},  // the image's last row: row 511 of that block
    };
    const std::string path = target.file("cmf.s19");
    writeFile(path, records);
    Bytes image(0x70000, 0xFF);
    for (const Record& r : records)
        std::copy(r.data.begin(), r.data.end(), image.begin() + r.address);

    const uint32_t parameter = 0x00000123;
    ASSERT_EQ(TOV_FlashSetup555(16, parameter, kWorkspace), 0);
    uint64_t prepares = 0;
    target.sim().withProbe([&](sim::Probe& p) { prepares = p.flashPrepares(); });
    EXPECT_EQ(prepares, 1u);
    ASSERT_EQ(TOV_FlashErase555(0, 0, 0, parameter, kWorkspace), 0);
    uint32_t detail = 1;
    ASSERT_EQ(TOV_FlashWrite555(path.c_str(), &detail), 0);

    EXPECT_TRUE(target.sim().peekChipFlash(0, image.size()) == image);
    // Lower half, then upper half; in each, rows in order; the mask has bit 7 - k for block k.
    // Length is the mask byte and 64 bytes per row.
    EXPECT_EQ(target.sim().programmedBlocks(),
              (std::vector<sim::ProgrammedBlock>{
                  {Source::DownloadBlock, 0x00000, 129, 0xA0},  // blocks 0 and 2
                  {Source::DownloadBlock, 0x00140, 65, 0x01},   // row 5: block 7
                  {Source::DownloadBlock, 0x07FC0, 65, 0x10},   // row 511: block 3
                  {Source::DownloadBlock, 0x40040, 129, 0x84},  // row 1: blocks 0 and 5
                  {Source::DownloadBlock, 0x40080, 65, 0x80},   // row 2: block 0
                  {Source::DownloadBlock, 0x47FC0, 65, 0x04},   // row 511: block 5
              }));

    // Memory reads show what was programmed.
    for (auto [address, length] : {std::pair<uint32_t, uint16_t>{0x00000, 64},
                                   {0x0FFF0, 0x60},
                                   {0x40040, 128},
                                   {0x6FFC0, 64}}) {
        Bytes back(length);
        ASSERT_EQ(TOV_MemoryRead(address, 0, length, back.data()), 0);
        EXPECT_TRUE(std::equal(back.begin(), back.end(), image.begin() + address)) << address;
    }

    // Data past the image fails before anything is sent.
    writeFile(path, {{0x6FFF8, fileBytes(0x6FFF8, 16)}});
    target.sim().clearProgrammedBlocks();
    const uint64_t frames = target.sim().stats().commandFrames;
    EXPECT_EQ(TOV_FlashWrite555(path.c_str(), &detail), kFileFailed);
    EXPECT_EQ(target.sim().stats().commandFrames, frames);
    EXPECT_TRUE(target.sim().programmedBlocks().empty());
}

// A piece the probe should receive: where it arrives, its length, and the file address its
// data comes from.
struct Piece {
    uint32_t sentAt;
    uint32_t length;
    uint32_t from;
};

struct PagedCase {
    const char* what;
    uint16_t variant;
    uint16_t type;  // bit 15: translate banked addresses
    uint32_t flashSize;
    std::vector<std::pair<uint32_t, size_t>> records;  // address and length of each record
    std::vector<Piece> pieces;
};

TEST(OnChipSim, PagedFlashGetsEachBlockSplitAndPlacedByItsType) {
    // Records across 16-KB boundaries (and 1-KB ones for type 20), each in a block of its own.
    const std::vector<std::pair<uint32_t, size_t>> banked = {{0x3FF0, 32}, {0x1BFF8, 16}};
    // Banked variants: the piece at Y goes to the low 14 bits of Y, OR'd with its 16-KB page
    // (bits 14-16) plus 0x2000, shifted left by 2.
    const std::vector<Piece> bankedPieces = {
        {0x0BFF0, 16, 0x3FF0},   // page 0: 0x2000 << 2 = 0x8000, OR 0x3FF0
        {0x18000, 16, 0x4000},   // page 1: (0x4000 | 0x2000) << 2 = 0x18000
        {0x6BFF8, 8, 0x1BFF8},   // (0x18000 | 0x2000) << 2 = 0x68000, OR 0x3FF8
        {0x78000, 8, 0x1C000}};  // (0x1C000 | 0x2000) << 2 = 0x78000
    const std::vector<PagedCase> cases = {
        {"type 15, banked variant 3", 3, 15, 0x20000, banked, bankedPieces},
        // No split for other variants: each block whole at its own address.
        {"type 15, variant 1",
         1,
         15,
         0x20000,
         banked,
         {{0x3FF0, 32, 0x3FF0}, {0x1BFF8, 16, 0x1BFF8}}},
        {"type 19, banked variant 7", 7, 19, 0x20000, banked, bankedPieces},
        // Variant 8 adds 0x308000 to the low 14 bits OR'd with bits 14-19 shifted left by 2; a
        // piece at or above the flash size F = 0x20000 first moves down by 0x100000 - F.
        {"first map, type 21, variant 8",
         8,
         21,
         0x20000,
         {{0x7FF0, 32}, {0xFBFF0, 32}},
         {{0x31BFF0, 16, 0x7FF0},     // 0x3FF0 | (0x4000 << 2) = 0x13FF0, + 0x308000
          {0x328000, 16, 0x8000},     // 0x8000 << 2 = 0x20000, + 0x308000
          {0x36BFF0, 16, 0xFBFF0},    // 0xFBFF0 - 0xE0000 = 0x1BFF0 -> 0x63FF0, + 0x308000
          {0x378000, 16, 0xFC000}}},  // 0xFC000 - 0xE0000 = 0x1C000 -> 0x70000, + 0x308000
        // Type 20 in the second map: 1-KB pieces, the low 10 bits OR 0x800, OR bits 10-17
        // shifted left by 6.
        {"second map, type 20",
         16,
         20,
         0x20000,
         {{0x13F0, 32}, {0x3FFF8, 16}},
         {{0x040BF0, 16, 0x13F0},    // 0x3F0 | 0x800 | (0x1000 << 6 = 0x40000)
          {0x050800, 16, 0x1400},    // 0x800 | (0x1400 << 6 = 0x50000)
          {0xFF0BF8, 8, 0x3FFF8},    // 0x3F8 | 0x800 | (0x3FC00 << 6 = 0xFF0000)
          {0x000800, 8, 0x40000}}},  // bits 10-17 of 0x40000 are clear: 0x800 alone
        // Type 21 in the second map: bits 14-21 shifted left by 2, OR the low 14 bits + 0x8000.
        {"second map, type 21",
         18,
         21,
         0x20000,
         {{0x3FF0, 32}, {0x3FBFF8, 16}},
         {{0x00BFF0, 16, 0x3FF0},     // 0x3FF0 + 0x8000
          {0x018000, 16, 0x4000},     // (0x4000 << 2 = 0x10000) | 0x8000
          {0xFEBFF8, 8, 0x3FBFF8},    // (0x3F8000 << 2 = 0xFE0000) | (0x3FF8 + 0x8000)
          {0xFF8000, 8, 0x3FC000}}},  // (0x3FC000 << 2 = 0xFF0000) | 0x8000
        // Translated, second map: 0x0900 lies in the 1-KB window at 0x0800, whose page
        // (0x0900 >> 6, masked to whole KB) is 0: 0x100 + 0x100000. 0x2000 lies in no window.
        {"second map, translated, type 14",
         17,
         kTranslate | 14,
         0x20000,
         {{0x0900, 16}, {0x2000, 16}},
         {{0x100100, 16, 0x0900}}},
        // Translated, first map with F = 0x40000: the window at 0xC000 is the flash's last
        // 16 KB, 0x123 + 0x40000 - 0x4000.
        {"first map, translated, type 14",
         1,
         kTranslate | 14,
         0x40000,
         {{0xC123, 16}},
         {{0x3C123, 16, 0xC123}}},
    };

    for (const PagedCase& c : cases) {
        SCOPED_TRACE(c.what);
        OnChip target({0, 0x1000000, 0x8000});
        ASSERT_TRUE(target.connected());
        std::vector<Record> records;
        for (auto [address, length] : c.records)
            records.push_back({address, fileBytes(address, length)});
        const std::string path = target.file("paged.s19");
        writeFile(path, records);

        ASSERT_EQ(TOV_FlashSetupHC12(c.variant, c.type, 16, c.flashSize, kWorkspace), 0);
        uint32_t detail = 1;
        ASSERT_EQ(TOV_FlashWriteFile(path.c_str(), &detail), 0);
        std::vector<sim::ProgrammedBlock> expected;
        for (const Piece& p : c.pieces) {
            expected.push_back({Source::DownloadBlock, p.sentAt, p.length, fileByte(p.from)});
            EXPECT_EQ(target.sim().peekChipFlash(p.sentAt, p.length), fileBytes(p.from, p.length))
                << std::hex << p.sentAt;
        }
        EXPECT_EQ(target.sim().programmedBlocks(), expected);
    }
}

TEST(OnChipSim, TheProbeErasesSectorsAndSelectionsAndReportsAFailingSector) {
    constexpr uint32_t kSector = 0x4000;
    OnChip target({0, 0x40000, kSector}, {5 * kSector + 0x10});
    ASSERT_TRUE(target.connected());
    auto blank = [&](uint32_t sector) {
        const Bytes data = target.sim().peekChipFlash(sector * kSector, kSector);
        return std::all_of(data.begin(), data.end(), [](uint8_t b) { return b == 0xFF; });
    };
    const Bytes data = fileBytes(0, 100);
    uint32_t result = 0;

    // Paged type 14: write blocks go out in 32-byte pieces; the erase takes the one sector.
    ASSERT_EQ(TOV_FlashSetupHC12(1, 14, 16, 0x40000, kWorkspace), 0);
    for (uint32_t sector : {1u, 2u, 5u}) {
        ASSERT_EQ(TOV_FlashWriteBlock(sector * kSector + 0x10, 100, data.data(), &result), 0);
    }
    const auto blocks = target.sim().programmedBlocks();
    ASSERT_EQ(blocks.size(), 12u);
    EXPECT_EQ(blocks[3], (sim::ProgrammedBlock{Source::WriteBlock, kSector + 0x70, 4, data[96]}));
    EXPECT_EQ(TOV_FlashEraseHC12(kSector + 0x20, 0), 0);
    EXPECT_TRUE(blank(1));
    EXPECT_FALSE(blank(2));
    EXPECT_EQ(TOV_FlashEraseHC12(5 * kSector + 8, 0), kEraseFailed);
    EXPECT_EQ(target.sim().peekChipFlash(5 * kSector + 0x10, 100), data);

    // Type 25 with a selection: sectors 0 and 2 exactly.
    ASSERT_EQ(TOV_FlashSetupUC3F(25, kWorkspace), 0);
    for (uint32_t sector : {0u, 1u, 3u}) {
        ASSERT_EQ(TOV_FlashWriteBlock(sector * kSector, 100, data.data(), &result), 0);
    }
    EXPECT_EQ(TOV_FlashEraseUC3F(0, 0x5, 1, kWorkspace), 0);
    EXPECT_TRUE(blank(0));
    EXPECT_FALSE(blank(1));
    EXPECT_TRUE(blank(2));
    EXPECT_FALSE(blank(3));
    // A selection that meets the failing sector erases the others and fails.
    EXPECT_EQ(TOV_FlashEraseUC3F(0, 0x28, 1, kWorkspace), kEraseFailed);
    EXPECT_TRUE(blank(3));
    EXPECT_FALSE(blank(5));
}

}  // namespace
}  // namespace tov::test
