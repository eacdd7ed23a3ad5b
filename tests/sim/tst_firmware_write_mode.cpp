// Set write mode and write block of the simulated firmware: the mode checks, and a write block
// in each mode (memory, verify, flash programming).
#include <gtest/gtest.h>

#include "sim/target_memory.h"
#include "tests/sim/firmware_chat.h"

namespace tov::sim {
namespace {

constexpr uint32_t kUnmapped = 0xFFF00000;
// The default flash bank: four byte-wide 512 KiB chips on a 32-bit bus.
constexpr uint32_t kFlash = 0x20000000;
constexpr uint32_t kFlashMask = 0xFFE00000;

Bytes setMode(FirmwareChat& f, uint8_t mode, uint8_t width = 0, uint32_t mask = 0,
              uint32_t workspace = 0, uint32_t parameter = 0) {
    return f.ask(Req(0x8D).u8(mode).u8(width).u32(mask).u32(workspace).u32(parameter));
}

Bytes writeBlock(FirmwareChat& f, uint32_t address, const Bytes& data) {
    return f.ask(Req(0x85).u32(address).u16(static_cast<uint16_t>(data.size())).raw(data));
}

Bytes result(uint8_t status, uint32_t word) {
    return Req(0x85).u8(status).u32(word);
}

TEST(FirmwareWriteMode, AcceptsTheKnownModesAndRefusesWhatCannotWork) {
    FirmwareChat f;
    EXPECT_EQ(setMode(f, 0), (Bytes{0x8D, 0}));
    EXPECT_EQ(setMode(f, 1, 3, 0, 0, 77), (Bytes{0x8D, 0}));
    EXPECT_EQ(f.probe.writeMode().mode, 1);
    EXPECT_EQ(f.probe.writeMode().parameter, 77u);
    // Flash types of the host's table, with a workspace in RAM.
    EXPECT_EQ(setMode(f, 2, 4, kFlashMask, 0x8000), (Bytes{0x8D, 0}));
    EXPECT_EQ(setMode(f, 41, 2, 0xFFF00000, 0x8000), (Bytes{0x8D, 0}));
    EXPECT_EQ(f.probe.writeMode().mode, 41);
    // Unknown modes; a refused mode leaves the last one in force.
    EXPECT_EQ(setMode(f, 7), (Bytes{0x8D, 1}));
    EXPECT_EQ(setMode(f, 200, 4, kFlashMask, 0x8000), (Bytes{0x8D, 1}));
    EXPECT_EQ(f.probe.writeMode().mode, 41);
    // A workspace that is not working RAM: inaccessible, read-only, or flash.
    EXPECT_EQ(setMode(f, 2, 4, kFlashMask, kUnmapped), (Bytes{0x8D, 3}));
    EXPECT_EQ(setMode(f, 2, 4, kFlashMask, kUnmapped - 16), (Bytes{0x8D, 3}));
    EXPECT_EQ(setMode(f, 2, 4, kFlashMask, TargetMemory::kRomFirst + 64), (Bytes{0x8D, 3}));
    EXPECT_EQ(setMode(f, 2, 4, kFlashMask, kFlash), (Bytes{0x8D, 3}));
    // Bad parameters: bus widths, a bus narrower than the chip, a mask that is no bank.
    EXPECT_EQ(setMode(f, 2, 3, kFlashMask, 0x8000), (Bytes{0x8D, 4}));
    EXPECT_EQ(setMode(f, 36, 2, kFlashMask, 0x8000), (Bytes{0x8D, 4}));
    EXPECT_EQ(setMode(f, 2, 4, 0xFF0F0000, 0x8000), (Bytes{0x8D, 4}));
    EXPECT_EQ(setMode(f, 2, 4, 0, 0x8000), (Bytes{0x8D, 4}));
    EXPECT_EQ(f.ask(Req(0x8D).u8(0).u8(0)), (Bytes{0x8D, 4}));
    EXPECT_EQ(f.probe.writeMode().mode, 41);
}

TEST(FirmwareWriteMode, WriteBlockWritesOrComparesMemory) {
    FirmwareChat f;
    Bytes data(1024);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i ^ 0x5A);
    EXPECT_EQ(writeBlock(f, 0x80000, data), result(0, 1024));
    Bytes back(data.size());
    f.probe.memory().read(0x80000, back);
    EXPECT_EQ(back, data);
    // Inaccessible memory: the failing address; nothing of the block written.
    Bytes answer = writeBlock(f, kUnmapped - 2, Bytes{1, 2, 3, 4});
    ASSERT_EQ(answer.size(), 6u);
    EXPECT_NE(answer[1], 0);
    EXPECT_EQ(be32(answer, 2), kUnmapped);
    // A length that does not match the data is refused.
    answer = f.ask(Req(0x85).u32(0x80000).u16(4).raw({1, 2, 3}));
    EXPECT_NE(answer.at(1), 0);

    ASSERT_EQ(setMode(f, 1), (Bytes{0x8D, 0}));
    EXPECT_EQ(writeBlock(f, 0x80000, data), result(0, 1024));
    Bytes changed = data;
    changed[1000] = 0;
    answer = writeBlock(f, 0x80000, changed);
    EXPECT_NE(answer.at(1), 0);
    EXPECT_EQ(be32(answer, 2), 0x80000u + 1000);
    f.probe.memory().read(0x80000, back);
    EXPECT_EQ(back, data);
}

TEST(FirmwareWriteMode, FlashModesProgramTheBanksAndVerifyComparesTheArray) {
    FirmwareChat f;
    Bytes data(512);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 3);
    const uint32_t at = kFlash + 0x1000;
    // A plain memory write cannot store into flash.
    Bytes answer = writeBlock(f, at, data);
    EXPECT_NE(answer.at(1), 0);
    EXPECT_EQ(be32(answer, 2), at);

    ASSERT_EQ(setMode(f, 2, 4, kFlashMask, 0x8000), (Bytes{0x8D, 0}));
    EXPECT_EQ(writeBlock(f, at, data), result(0, 512));
    ASSERT_EQ(setMode(f, 1), (Bytes{0x8D, 0}));
    EXPECT_EQ(writeBlock(f, at, data), result(0, 512));
    Bytes changed = data;
    changed[17] ^= 0x10;
    EXPECT_EQ(be32(writeBlock(f, at, changed), 2), at + 17);

    // Programming can only clear bits: raising one fails there.
    ASSERT_EQ(setMode(f, 2, 4, kFlashMask, 0x8000), (Bytes{0x8D, 0}));
    changed = data;
    changed[100] = 0xFF;
    answer = writeBlock(f, at, changed);
    EXPECT_NE(answer.at(1), 0);
    EXPECT_EQ(be32(answer, 2), at + 100);

    // The same through a download: programmed, then verified against the array.
    ASSERT_EQ(setMode(f, 2, 4, kFlashMask, 0x8000), (Bytes{0x8D, 0}));
    f.ask(Req(0x28).u8(0));
    const uint32_t next = kFlash + 0x2000;
    EXPECT_EQ(f.ask(Req(0x29).u8(0).u32(0).u32(next).u16(512).raw(data)),
              Bytes(Req(0x29).u8(0).u32(1).u32(0)));
    ASSERT_EQ(setMode(f, 1), (Bytes{0x8D, 0}));
    EXPECT_EQ(writeBlock(f, next, data), result(0, 512));
}

}  // namespace
}  // namespace tov::sim

namespace tov::sim {
namespace {

TEST(FirmwareWriteMode, ANewSessionStartsInWriteMode) {
    FirmwareChat f;
    ASSERT_EQ(setMode(f, 1), (Bytes{0x8D, 0}));
    // The connect step's Start firmware is not understood by a running firmware, but it begins
    // a session: a load that follows must write, not compare.
    EXPECT_EQ(f.ask(Req(0x71)), (Bytes{0x00}));
    EXPECT_EQ(f.probe.writeMode().mode, 0);
    EXPECT_EQ(writeBlock(f, 0x1000, {1, 2, 3}), result(0, 3));
}

}  // namespace
}  // namespace tov::sim
