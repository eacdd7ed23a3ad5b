// Flash erase through the exported functions against the simulator's flash chips over the
// pseudo-terminal: command set A on 32- and 64-bit buses, command set B on byte and word chips,
// the probe's own erase, and chips that fail to erase.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string>

#include "include/tovlink.h"
#include "tests/support/sim_fixture.h"

namespace tov::test {
namespace {

using namespace std::chrono_literals;
using sim::FlashBankConfig;
using sim::FlashCommandSet;

constexpr int32_t kEraseFailed = -1208;
constexpr uint32_t kWorkspace = 0x00001000;

// Banks of this test: the host's example bank of byte chips on a 32-bit bus, the same chips on
// a 64-bit bus, and command set B chips of bytes (here) and of words (the default bank).
constexpr uint32_t kBank32 = 0x00200000;
constexpr uint32_t kBank64 = 0x04000000;
constexpr uint32_t kBankByteB = 0x01000000;
constexpr uint32_t kBankWordB = 0x30000000;

class FlashEraseSim : public ::testing::Test {
protected:
    void SetUp() override {
        sim::SimOptions options;
        options.rate = 115200;
        options.flashBanks = {
            {kBank32, FlashCommandSet::A5555, 0x80000, 32, 8, 0},
            {kBank64, FlashCommandSet::A5555, 0x80000, 64, 8, 0},
            {kBankByteB, FlashCommandSet::B, 0x100000, 16, 8, 0},
            {kBankWordB, FlashCommandSet::B, 0x100000, 16, 16, 0},
        };
        // Chip sectors are 64 KiB; on the 32-bit bus a sector spans 256 KiB of addresses.
        options.flashFailErase = {kBank32 + 0x00080000, kBank64 + 0x00100000,
                                  kBankByteB + 0x00040000};
        options.flashTiming = sim::FlashTiming{80ms, 300ms};
        probe_ = std::make_unique<SimOnPty>(options);
        ASSERT_TRUE(probe_->started());
        ASSERT_EQ(TOV_Connect(probe_->port().c_str()), 0);
    }
    void TearDown() override { TOV_Disconnect(); }

    // Programs a 32-bit word into byte chips of command set A on a 32-bit bus by their own
    // program command.
    static void programA32(uint32_t address, uint32_t value) {
        ASSERT_EQ(TOV_SetLong(kBank32 + 0x5555 * 4, 0xAAAAAAAA), 0);
        ASSERT_EQ(TOV_SetLong(kBank32 + 0x2AAA * 4, 0x55555555), 0);
        ASSERT_EQ(TOV_SetLong(kBank32 + 0x5555 * 4, 0xA0A0A0A0), 0);
        ASSERT_EQ(TOV_SetLong(address, value), 0);
    }
    // The same on the 64-bit bus, with 8-byte memory writes.
    static void programA64(uint32_t address, const uint8_t (&value)[8]) {
        const std::pair<uint32_t, uint8_t> cycles[] = {
            {0x5555, 0xAA}, {0x2AAA, 0x55}, {0x5555, 0xA0}};
        for (auto [word, byte] : cycles) {
            uint8_t lanes[8];
            std::fill(std::begin(lanes), std::end(lanes), byte);
            ASSERT_EQ(TOV_MemoryWrite(kBank64 + word * 8, 0, 8, lanes), 0);
        }
        ASSERT_EQ(TOV_MemoryWrite(address, 0, 8, value), 0);
    }
    // Programs a 16-bit bus word into command set B chips (byte chips: lanes 0x0101, a word
    // chip: 0x0001): 0x40 in each chip's low byte, the value, then 0xFF to read the array.
    static void programB16(uint32_t address, uint16_t lanes, uint16_t value) {
        ASSERT_EQ(TOV_SetWord(address, static_cast<uint16_t>(0x40 * lanes)), 0);
        ASSERT_EQ(TOV_SetWord(address, value), 0);
        ASSERT_EQ(TOV_SetWord(address, static_cast<uint16_t>(0xFF * lanes)), 0);
    }
    static uint32_t longAt(uint32_t address) {
        uint32_t value = 0;
        EXPECT_EQ(TOV_GetLong(address, &value), 0);
        return value;
    }
    static uint16_t wordAt(uint32_t address) {
        uint16_t value = 0;
        EXPECT_EQ(TOV_GetWord(address, &value), 0);
        return value;
    }

    std::unique_ptr<SimOnPty> probe_;
};

TEST_F(FlashEraseSim, CommandSetAErasesOnA32BitBusAndReportsAFailingSector) {
    programA32(0x00210000, 0x12345678);
    programA32(0x00250000, 0x9ABCDEF0);  // next sector
    programA32(0x00280000, 0x0F0F0F0F);  // the sector told to fail
    ASSERT_EQ(longAt(0x00210000), 0x12345678u);

    ASSERT_EQ(TOV_FlashSetType(2, 0x80000, 0, 32, kWorkspace), 0);
    EXPECT_EQ(TOV_FlashEraseSector(0x00210000), 0);
    EXPECT_EQ(longAt(0x00210000), 0xFFFFFFFFu);
    EXPECT_EQ(longAt(0x00200000), 0xFFFFFFFFu);
    EXPECT_EQ(longAt(0x00250000), 0x9ABCDEF0u);

    // The sector fails on the chip of lane 0: -1208, and the host's reset sequence leaves the
    // chips reading their array again, that chip's byte not erased.
    EXPECT_EQ(TOV_FlashEraseSector(0x00280000), kEraseFailed);
    EXPECT_EQ(longAt(0x00280000), 0x0FFFFFFFu);

    // The chip erase clears the other sectors and fails on the one that cannot be erased.
    EXPECT_EQ(TOV_FlashErase(2, 0x00200000), kEraseFailed);
    EXPECT_EQ(longAt(0x00250000), 0xFFFFFFFFu);
    EXPECT_EQ(longAt(0x00280000), 0x0FFFFFFFu);
}

TEST_F(FlashEraseSim, CommandSetAErasesOnA64BitBus) {
    const uint8_t data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    programA64(kBank64 + 0x80000, data);
    programA64(kBank64 + 0x100000, data);
    ASSERT_EQ(longAt(kBank64 + 0x80004), 0x05060708u);
    ASSERT_EQ(TOV_FlashSetType(31, 0x80000, 0, 64, kWorkspace), 0);
    EXPECT_EQ(TOV_FlashEraseSector(kBank64 + 0x80000), 0);
    EXPECT_EQ(longAt(kBank64 + 0x80004), 0xFFFFFFFFu);
    EXPECT_EQ(TOV_FlashEraseSector(kBank64 + 0x100000), kEraseFailed);
    EXPECT_EQ(longAt(kBank64 + 0x100000), 0x01FFFFFFu);
}

TEST_F(FlashEraseSim, CommandSetBErasesOnlyTheSectorOnByteAndWordChips) {
    // Two byte chips on a 16-bit bus (type 5).
    programB16(kBankByteB + 0x20000, 0x0101, 0x1234);
    programB16(kBankByteB + 0x40000, 0x0101, 0x5678);
    programB16(kBankByteB + 0x60000, 0x0101, 0x9ABC);
    ASSERT_EQ(wordAt(kBankByteB + 0x20000), 0x1234);
    ASSERT_EQ(TOV_FlashSetType(5, 0x100000, 0, 16, kWorkspace), 0);
    // Mode 2 on these chips erases the sector only.
    EXPECT_EQ(TOV_FlashErase(2, kBankByteB + 0x20000), 0);
    EXPECT_EQ(wordAt(kBankByteB + 0x20000), 0xFFFF);
    EXPECT_EQ(wordAt(kBankByteB + 0x60000), 0x9ABC);
    EXPECT_EQ(TOV_FlashEraseSector(kBankByteB + 0x40000), kEraseFailed);
    EXPECT_EQ(wordAt(kBankByteB + 0x40000), 0x56FF);  // cleared and back in read-array mode

    // One word chip on a 16-bit bus (type 6).
    programB16(kBankWordB + 0x10000, 0x0001, 0xBEEF);
    programB16(kBankWordB + 0x20000, 0x0001, 0xCAFE);
    ASSERT_EQ(TOV_FlashSetType(6, 0x100000, 0, 16, kWorkspace), 0);
    EXPECT_EQ(TOV_FlashErase(2, kBankWordB + 0x10000), 0);
    EXPECT_EQ(wordAt(kBankWordB + 0x10000), 0xFFFF);
    EXPECT_EQ(wordAt(kBankWordB + 0x20000), 0xCAFE);
}

TEST_F(FlashEraseSim, TheProbeErasesByItselfAndReportsAFailingSector) {
    programA32(0x00210000, 0x12345678);
    programA32(0x00280000, 0x0F0F0F0F);
    ASSERT_EQ(TOV_FlashSetType(39, 0x80000, 0, 32, kWorkspace), 0);
    EXPECT_EQ(TOV_FlashEraseSector(0x00210000), 0);
    EXPECT_EQ(longAt(0x00210000), 0xFFFFFFFFu);
    ASSERT_EQ(TOV_FlashSetType(40, 0x80000, 0, 32, kWorkspace), 0);
    EXPECT_EQ(TOV_FlashEraseSector(0x00280000), kEraseFailed);
    EXPECT_EQ(longAt(0x00280000), 0x0FFFFFFFu);
    // A workspace in the flash itself: "Cannot write to working RAM".
    ASSERT_EQ(TOV_FlashSetType(39, 0x80000, 0, 32, kBank32), 0);
    EXPECT_EQ(TOV_FlashEraseSector(0x00210000), -1212);

    // Type 41 on the word chip: mode 2 has the probe erase the whole chip, block by block.
    programB16(kBankWordB + 0x10000, 0x0001, 0xBEEF);
    programB16(kBankWordB + 0xF0000, 0x0001, 0xCAFE);
    ASSERT_EQ(TOV_FlashSetType(41, 0x100000, 0, 16, kWorkspace), 0);
    EXPECT_EQ(TOV_FlashErase(2, kBankWordB), 0);
    EXPECT_EQ(wordAt(kBankWordB + 0x10000), 0xFFFF);
    EXPECT_EQ(wordAt(kBankWordB + 0xF0000), 0xFFFF);
    // Outside every bank the probe refuses the address.
    EXPECT_EQ(TOV_FlashEraseSector(0x50000000), -1202);
}

}  // namespace
}  // namespace tov::test
