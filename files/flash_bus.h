// Single accesses to an external flash bank over a bus of 1, 2, 4 or 8 bytes, and the view of a
// bus value as the parts of the chips side by side on that bus.
#pragma once

#include <cstdint>

#include "target/target_link.h"

namespace tov::files {

// One flash bank as the erase sequences see it: whole-bus reads and writes, values per chip.
class FlashBus {
public:
    // A chip wider than the bus is seen through the bus: the whole value is its part.
    FlashBus(target::TargetLink& target, uint8_t busWidth, uint8_t chipWidth);

    // One access of the bus width: the single-item requests on 1, 2 and 4 bytes, an 8-byte
    // memory access (access 0) on a 64-bit bus. 0 or the access's error.
    int32_t write(uint32_t address, uint64_t value);
    int32_t read(uint32_t address, uint64_t& value);

    uint8_t width() const { return busWidth_; }
    int chips() const { return busWidth_ / chipWidth_; }
    // The byte repeated in every byte lane of the bus.
    uint64_t everyLane(uint8_t byte) const;
    // The byte in the low byte of every chip, the chips' other bytes zero.
    uint64_t everyChip(uint8_t byte) const;
    // True when every bit the bus carries is set.
    bool allOnes(uint64_t value) const { return value == busMask(); }
    bool chipAllOnes(uint64_t value, int chip) const { return chipPart(value, chip) == chipMask(); }
    uint8_t chipLowByte(uint64_t value, int chip) const {
        return static_cast<uint8_t>(chipPart(value, chip));
    }

private:
    static uint64_t ones(int bytes) {
        return bytes >= 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * bytes)) - 1;
    }
    uint64_t busMask() const { return ones(busWidth_); }
    uint64_t chipMask() const { return ones(chipWidth_); }
    uint64_t chipPart(uint64_t value, int chip) const {
        return (value >> (8 * chipWidth_ * chip)) & chipMask();
    }

    target::TargetLink& target_;
    uint8_t busWidth_;
    uint8_t chipWidth_;
};

}  // namespace tov::files
