// Chips of command set B: single-write commands and a status register that reports an erase.
#pragma once

#include "sim/flash_chip.h"

namespace tov::sim {

// A chip of command set B: 0x20 then 0xD0 erases the block written to, 0x70 reads the status,
// 0x50 clears it, 0xFF reads the array, 0x40 or 0x10 then a value programs a word.
class FlashChipB : public FlashChip {
public:
    static constexpr uint8_t kReady = 0x80;
    static constexpr uint8_t kEraseError = 0x20;
    static constexpr uint8_t kProgramError = 0x10;

    FlashChipB(uint32_t size, uint8_t width, uint32_t sectorSize, FlashTiming timing);

    // Only the low byte of a value carries a command. While erasing, only 0x70 is taken.
    void write(uint32_t word, uint32_t value, TimePoint now) override;
    // The array in read-array mode; else the status register in the low byte: bit 7 ready,
    // bit 5 erase failed, bits 5 and 4 together a wrong command after 0x20.
    uint32_t read(uint32_t word, TimePoint now) override;
    bool readsArray(TimePoint now) override;

private:
    // What a read returns, or what the next write means.
    enum class Mode : uint8_t { Array, Status, EraseSetup, ProgramSetup };

    uint8_t status() const;

    Mode mode_ = Mode::Array;
    uint8_t errors_ = 0;  // error bits other than a failed erase
};

}  // namespace tov::sim
