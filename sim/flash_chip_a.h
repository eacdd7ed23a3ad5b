// Chips of command set A: every command is unlocked by two writes at fixed chip addresses, and an
// erase reports its progress through the data read at any address of the chip.
#pragma once

#include "sim/flash_chip.h"

namespace tov::sim {

// A chip of command set A with its first and second command addresses (chip words).
class FlashChipA : public FlashChip {
public:
    FlashChipA(uint32_t size, uint8_t width, uint32_t sectorSize, FlashTiming timing,
               uint32_t firstAddress, uint32_t secondAddress);

    // Only the low byte of a value carries a command. Unlock writes at other addresses, or with
    // other values, drop the sequence. While erasing, every write is ignored; after a failed
    // erase only the reset command (0xF0, alone or unlocked) is taken.
    void write(uint32_t word, uint32_t value, TimePoint now) override;
    // The array, or while erasing and after a failure the status: bit 7 clear, bit 6 toggling on
    // every read, bit 5 set once the erase has failed, bit 3 set, bit 2 toggling on reads in the
    // sector being erased.
    uint32_t read(uint32_t word, TimePoint now) override;
    bool readsArray(TimePoint now) override;

private:
    // Where the chip is in a command sequence.
    enum class Step : uint8_t {
        Read,
        Unlocked1,
        Unlocked2,
        EraseSetup,
        EraseUnlocked1,
        EraseUnlocked2,
        Program
    };

    void command(uint32_t word, uint8_t code, TimePoint now);

    uint32_t first_;
    uint32_t second_;
    Step step_ = Step::Read;
    bool toggle6_ = false;
    bool toggle2_ = false;
};

}  // namespace tov::sim
