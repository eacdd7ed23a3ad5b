// The target's bus as the probe's memory requests reach it: flash banks and the on-chip flash
// where they sit, plain target memory everywhere else.
#pragma once

#include <cstdint>
#include <span>

#include "sim/chip_flash.h"
#include "sim/flash_bank.h"
#include "sim/target_memory.h"

namespace tov::sim {

// Where a stretch of the target's address space lies.
enum class BusPlace : uint8_t { Memory, Bank, Chip };

// Calls visit(address, offset in the range, length, place) for each stretch of the range that
// lies wholly in one place (one bank, the on-chip flash, or plain memory), in address order,
// until visit returns false.
template <typename Visit>
void forEachPlace(const FlashBanks& flash, const ChipFlash& chip, uint32_t address, size_t size,
                  Visit visit) {
    for (size_t done = 0; done < size;) {
        const uint32_t at = address + static_cast<uint32_t>(done);
        bool onChip = false;
        bool inBank = false;
        size_t length = chip.stretch(at, size - done, onChip);
        if (!onChip) length = flash.stretch(at, length, inBank);
        if (!visit(at, done, length,
                   onChip   ? BusPlace::Chip
                   : inBank ? BusPlace::Bank
                            : BusPlace::Memory)) {
            return;
        }
        done += length;
    }
}

// Routes memory accesses to the flash banks, the on-chip flash or the target memory, byte ranges
// split between them.
class TargetBus {
public:
    TargetBus(TargetMemory& memory, FlashBanks& flash, ChipFlash& chip)
        : memory_(memory), flash_(flash), chip_(chip) {}

    // True when any byte of the range lies in a flash bank.
    bool touchesFlash(uint32_t address, size_t size) const {
        return flash_.overlaps(address, size);
    }

    // As TargetMemory::read and write, except that bytes in a flash bank are bus accesses the
    // chips answer (one per bus word), and bytes in the on-chip flash read its array. Fails as
    // a whole, changing nothing, when a byte outside the flash is not accessible; a write fails
    // so as well when any byte lies in the on-chip flash, which only the probe's programming
    // changes.
    bool read(uint32_t address, std::span<uint8_t> out);
    bool write(uint32_t address, std::span<const uint8_t> data);

    TargetMemory& memory() { return memory_; }
    FlashBanks& flash() { return flash_; }

private:
    bool memoryAccessible(uint32_t address, size_t size) const;

    TargetMemory& memory_;
    FlashBanks& flash_;
    ChipFlash& chip_;
};

}  // namespace tov::sim
