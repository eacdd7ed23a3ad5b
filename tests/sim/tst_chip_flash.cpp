// The target's on-chip flash: its array and erases on their own, and as the probe's requests
// reach it (write modes, the row-mask format, erase and result, memory reads, the options).
#include <gtest/gtest.h>

#include "sim/chip_flash.h"
#include "sim/sim_options.h"
#include "tests/sim/firmware_chat.h"

namespace tov::sim {
namespace {

constexpr uint32_t kBase = 0x00100000;
constexpr uint32_t kSector = 0x1000;
constexpr uint32_t kWorkspace = 0x00008000;

Bytes readChip(const ChipFlash& chip, uint32_t address, size_t n) {
    Bytes out(n);
    chip.read(address, out.data(), n);
    return out;
}

TEST(ChipFlash, ProgramsOnlyClearingBitsAndErasesSectorsSelectionsAndTheWhole) {
    ChipFlash chip({kBase, 8 * kSector, kSector}, {kBase + 5 * kSector + 0x10});
    ASSERT_TRUE(chip.present());
    EXPECT_EQ(readChip(chip, kBase, 2), (Bytes{0xFF, 0xFF}));
    EXPECT_EQ(chip.pagesAllocated(), 0u);

    const Bytes first{0xF0, 0x0F, 0x55};
    EXPECT_EQ(chip.program(kBase + 0x100, first.data(), first.size()), 0u);
    // 0x50 only clears bits of 0xF0; 0x1F would raise bit 4 of 0x0F: that byte fails, the one
    // before it stays programmed, the one after is not touched.
    const Bytes second{0x50, 0x1F, 0x00};
    EXPECT_EQ(chip.program(kBase + 0x100, second.data(), second.size()), kBase + 0x101);
    EXPECT_EQ(readChip(chip, kBase + 0x100, 3), (Bytes{0x50, 0x0F, 0x55}));
    // A range across a page boundary stops at its first refused byte in the next page.
    ASSERT_EQ(chip.program(kBase + 0x1004, Bytes{0x0F}.data(), 1), 0u);
    const Bytes run(16, 0xF5);
    EXPECT_EQ(chip.program(kBase + 0xFF8, run.data(), run.size()), kBase + 0x1004);
    EXPECT_EQ(readChip(chip, kBase + 0xFF8, 16),
              (Bytes{0xF5, 0xF5, 0xF5, 0xF5, 0xF5, 0xF5, 0xF5, 0xF5, 0xF5, 0xF5, 0xF5, 0xF5, 0x0F,
                     0xFF, 0xFF, 0xFF}));
    // Outside the region nothing is programmed; bytes there read as erased.
    EXPECT_EQ(chip.program(kBase - 1, first.data(), 1), kBase - 1);
    EXPECT_EQ(readChip(chip, kBase + 8 * kSector, 1), (Bytes{0xFF}));

    const Bytes zero{0x00};
    for (uint32_t i = 0; i < 8; ++i) chip.program(kBase + i * kSector + 4, zero.data(), 1);
    auto sectorByte = [&](uint32_t i) { return readChip(chip, kBase + i * kSector + 4, 1)[0]; };

    // One sector by address.
    ASSERT_TRUE(chip.erase(kBase + 2 * kSector + 0x800, true, 0));
    EXPECT_EQ(chip.lastErase()->failed, false);
    EXPECT_EQ(sectorByte(1), 0x00);
    EXPECT_EQ(sectorByte(2), 0xFF);
    EXPECT_EQ(sectorByte(3), 0x00);
    // A selection: bits 0, 3 and 5, where 5 is told to fail and keeps its contents.
    ASSERT_TRUE(chip.erase(kBase, true, 0x29));
    EXPECT_EQ(chip.lastErase()->failed, true);
    EXPECT_EQ(chip.lastErase()->firstFailed, kBase + 5 * kSector);
    EXPECT_EQ(sectorByte(0), 0xFF);
    EXPECT_EQ(sectorByte(1), 0x00);
    EXPECT_EQ(sectorByte(3), 0xFF);
    EXPECT_EQ(sectorByte(5), 0x00);
    // A selection beyond the region's sectors, or an address outside it: refused, nothing done.
    EXPECT_FALSE(chip.erase(kBase, true, 0x101));
    EXPECT_EQ(sectorByte(1), 0x00);
    EXPECT_FALSE(chip.erase(kBase - 4, false, 0));
    // The whole region: all but the failing sector.
    chip.setEraseFails(kBase + 5 * kSector, false);
    chip.setEraseFails(kBase + 6 * kSector);
    ASSERT_TRUE(chip.erase(kBase + 4, false, 0));
    EXPECT_EQ(chip.lastErase()->firstFailed, kBase + 6 * kSector);
    for (uint32_t i : {1u, 4u, 5u, 7u}) EXPECT_EQ(sectorByte(i), 0xFF) << i;
    EXPECT_EQ(sectorByte(6), 0x00);

    // Sectors smaller than a storage page erase only their part of it.
    ChipFlash small({0, 0x2000, 0x400}, {});
    small.program(0x3FF, zero.data(), 1);
    small.program(0x400, zero.data(), 1);
    ASSERT_TRUE(small.erase(0x400, true, 0));
    EXPECT_EQ(readChip(small, 0x3FF, 2), (Bytes{0x00, 0xFF}));

    EXPECT_NE(checkChipFlash({0, 0x9000, 0x8000}, {}), "");
    EXPECT_NE(checkChipFlash({0xFFFF8000, 0x10000, 0x8000}, {}), "");
    EXPECT_NE(checkChipFlash({0x20070000, 0x20000, 0x8000}, defaultFlashBanks()), "");
    EXPECT_EQ(checkChipFlash({0, 0x70000, 0x8000}, defaultFlashBanks()), "");
    EXPECT_FALSE(ChipFlash({0, 0x9000, 0x8000}, {}).present());
}

SimOptions withChip() {
    SimOptions o;
    o.flashTiming = FlashTiming{std::chrono::milliseconds(20), std::chrono::milliseconds(60)};
    o.chipFlash = {kBase, 0x40000, 0x8000};
    o.flashFailErase = {kBase + 0x18000};
    return o;
}

Bytes setMode(FirmwareChat& f, uint8_t mode, uint8_t width, uint32_t mask, uint32_t parameter) {
    return f.ask(Req(0x8D).u8(mode).u8(width).u32(mask).u32(kWorkspace).u32(parameter));
}

Bytes writeBlock(FirmwareChat& f, uint32_t address, const Bytes& data) {
    return f.ask(Req(0x85).u32(address).u16(static_cast<uint16_t>(data.size())).raw(data));
}

Bytes erase(FirmwareChat& f, uint8_t type, bool sector, uint32_t selection, uint32_t address) {
    return f.ask(
        Req(0x90).u8(type).u8(sector ? 1 : 0).u32(selection).u32(address).u32(kWorkspace).u32(0));
}

TEST(ChipFlash, TheProbeProgramsRowsPiecesAndErasesItAndReadsItOnTheBus) {
    FirmwareChat f(withChip());
    EXPECT_EQ(f.ask(Req(0x8C)), (Bytes{0x8C, 0}));
    EXPECT_EQ(f.probe.flashPrepares(), 1u);

    // On-chip types with mask 0 and narrow buses; the workspace must lie outside the flash.
    EXPECT_EQ(setMode(f, 25, 2, 0, 0), (Bytes{0x8D, 0}));
    EXPECT_EQ(setMode(f, 15, 1, 0xFFFC0000, 3), (Bytes{0x8D, 0}));
    EXPECT_EQ(setMode(f, 14, 8, 0, 0), (Bytes{0x8D, 4}));
    EXPECT_EQ(f.ask(Req(0x8D).u8(16).u8(2).u32(0).u32(kBase + 0x100).u32(0)), (Bytes{0x8D, 3}));
    EXPECT_EQ(f.probe.writeMode().mode, 15);

    // Row-mask format: mask 0x82 sends rows k = 0 and k = 6, the latter 6 * 32 KiB further on.
    ASSERT_EQ(setMode(f, 16, 4, 0, 0x80000000), (Bytes{0x8D, 0}));
    Bytes rows{0x82};
    for (int i = 0; i < 128; ++i) rows.push_back(static_cast<uint8_t>(i));
    EXPECT_EQ(writeBlock(f, kBase + 0x40, rows), (Bytes{0x85, 0, 0, 0, 0, 129}));
    const ChipFlash& chip = f.probe.chipFlash();
    EXPECT_EQ(readChip(chip, kBase + 0x40, 2), (Bytes{0, 1}));
    EXPECT_EQ(readChip(chip, kBase + 0x7F, 2), (Bytes{63, 0xFF}));
    EXPECT_EQ(readChip(chip, kBase + 0x8040, 1), (Bytes{0xFF}));
    EXPECT_EQ(readChip(chip, kBase + 6 * 0x8000 + 0x40, 2), (Bytes{64, 65}));
    rows.pop_back();
    EXPECT_EQ(writeBlock(f, kBase + 0x80, rows).at(1), 4);
    // The same type without bit 31 takes plain data.
    ASSERT_EQ(setMode(f, 16, 2, 0, 0), (Bytes{0x8D, 0}));
    EXPECT_EQ(writeBlock(f, kBase + 0x200, {0x12, 0x34}), (Bytes{0x85, 0, 0, 0, 0, 2}));
    // Types 14, 18 and 20 take at most 32 bytes per write block.
    ASSERT_EQ(setMode(f, 20, 2, 0, 17), (Bytes{0x8D, 0}));
    EXPECT_EQ(writeBlock(f, kBase + 0x300, Bytes(33, 0)).at(1), 4);
    EXPECT_EQ(writeBlock(f, kBase + 0x300, Bytes(32, 0)), (Bytes{0x85, 0, 0, 0, 0, 32}));
    using S = ProgrammedBlock::Source;
    EXPECT_EQ(f.probe.programmedBlocks(),
              (std::vector<ProgrammedBlock>{{S::WriteBlock, kBase + 0x40, 129, 0x82},
                                            {S::WriteBlock, kBase + 0x80, 128, 0x82},
                                            {S::WriteBlock, kBase + 0x200, 2, 0x12},
                                            {S::WriteBlock, kBase + 0x300, 32, 0x00}}));
    f.probe.clearProgrammedBlocks();

    // Memory reads see the array; plain writes into it fail; verify compares it.
    EXPECT_EQ(f.ask(Req(0xB8).u32(kBase + 0x1FE).u16(0).u16(4)),
              (Bytes{0xB8, 0, 0, 0xFF, 0xFF, 0x12, 0x34}));
    EXPECT_NE(statusOf(f.ask(Req(0xB9).u32(kBase + 0x200).u16(0).u16(1).raw({0}))), 0);
    ASSERT_EQ(setMode(f, 0, 0, 0, 0), (Bytes{0x8D, 0}));
    EXPECT_EQ(writeBlock(f, kBase - 2, {1, 2, 3}), (Bytes{0x85, 1, 0, 0x10, 0, 0}));
    ASSERT_EQ(setMode(f, 1, 0, 0, 0), (Bytes{0x8D, 0}));
    EXPECT_EQ(writeBlock(f, kBase + 0x200, {0x12, 0x34}).at(1), 0);
    EXPECT_EQ(writeBlock(f, kBase + 0x200, {0x12, 0x35}), (Bytes{0x85, 2, 0, 0x10, 0x02, 0x01}));
    EXPECT_TRUE(f.probe.programmedBlocks().empty());

    // Erase: the sector of the address, then a selection that meets the failing sector 3.
    EXPECT_EQ(erase(f, 16, true, 0, kBase + 0x210), (Bytes{0x90, 0}));
    EXPECT_EQ(f.ask(Req(0x91)), (Bytes{0x91, 0, 0, 0, 0, 0}));
    EXPECT_EQ(readChip(chip, kBase + 0x40, 1), (Bytes{0xFF}));
    EXPECT_EQ(readChip(chip, kBase + 6 * 0x8000 + 0x40, 1), (Bytes{64}));
    EXPECT_EQ(erase(f, 25, true, 0x48, kBase), (Bytes{0x90, 0}));
    EXPECT_EQ(f.ask(Req(0x91)), (Bytes{0x91, 1, 0, 0x11, 0x80, 0x00}));
    EXPECT_EQ(readChip(chip, kBase + 6 * 0x8000 + 0x40, 1), (Bytes{0xFF}));
    // Refusals: selection bit 8 of an 8-sector region, an external type there, an address
    // in neither flash.
    EXPECT_EQ(erase(f, 25, true, 0x100, kBase), (Bytes{0x90, 4}));
    EXPECT_EQ(erase(f, 39, true, 0, kBase), (Bytes{0x90, 4}));
    EXPECT_EQ(erase(f, 14, true, 0, 0x10000000), (Bytes{0x90, 4}));
    // Type 21 still erases the external banks.
    EXPECT_EQ(erase(f, 21, true, 0, 0x20040000), (Bytes{0x90, 0}));
    EXPECT_EQ(f.ask(Req(0x91)), (Bytes{0x91, 0, 0, 0, 0, 0}));
}

TEST(ChipFlash, OptionsPlaceTheRegion) {
    auto parse = [](std::vector<std::string> args) {
        args.insert(args.begin(), {"--udp", "127.0.0.9"});
        return parseCommandLine(args);
    };
    ParsedCommandLine p = parse({});
    ASSERT_EQ(p.error, "");
    EXPECT_FALSE(p.options.chipFlash.present());
    p = parse({"--chip-flash", "0:0x70000", "--flash-fail-erase", "0x48000"});
    ASSERT_EQ(p.error, "");
    EXPECT_EQ(p.options.chipFlash.base, 0u);
    EXPECT_EQ(p.options.chipFlash.size, 0x70000u);
    EXPECT_EQ(p.options.chipFlash.sectorSize, 0x8000u);
    p = parse({"--chip-flash=0x100000:65536:4096"});
    ASSERT_EQ(p.error, "");
    EXPECT_EQ(p.options.chipFlash.base, 0x100000u);
    EXPECT_EQ(p.options.chipFlash.sectorSize, 0x1000u);
    for (const char* bad :
         {"0", "0:0", "0:0x9000", "0:0x10000:0", "x:0x8000", "0:0x8000:1:2", "0x20000000:0x8000"}) {
        EXPECT_NE(parse({"--chip-flash", bad}).error, "") << bad;
    }
    EXPECT_NE(parse({"--chip-flash", "0:0x8000", "--flash-fail-erase", "0x8000"}).error, "");
    EXPECT_NE(usageText().find("--chip-flash"), std::string::npos);
}

}  // namespace
}  // namespace tov::sim
