// Bus-wide accesses to a flash bank and the replication of command bytes over lanes and chips.
#include "files/flash_bus.h"

#include <algorithm>

namespace tov::files {

FlashBus::FlashBus(target::TargetLink& target, uint8_t busWidth, uint8_t chipWidth)
    : target_(target),
      busWidth_(busWidth),
      chipWidth_(std::clamp<uint8_t>(chipWidth, 1, busWidth)) {}

// The 8-byte value travels most significant byte first, as every multi-byte field does.
int32_t FlashBus::write(uint32_t address, uint64_t value) {
    if (busWidth_ != 8) return target_.setItem(address, busWidth_, static_cast<uint32_t>(value));
    uint8_t bytes[8];
    for (int i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * (7 - i)));
    return target_.memoryWrite(address, 0, 8, bytes);
}

int32_t FlashBus::read(uint32_t address, uint64_t& value) {
    if (busWidth_ != 8) {
        uint32_t item = 0;
        int32_t rc = target_.getItem(address, busWidth_, item);
        value = item;
        return rc;
    }
    uint8_t bytes[8] = {};
    int32_t rc = target_.memoryRead(address, 0, 8, bytes);
    value = 0;
    for (uint8_t b : bytes) value = (value << 8) | b;
    return rc;
}

uint64_t FlashBus::everyLane(uint8_t byte) const {
    return (~uint64_t{0} / 0xFF * byte) & busMask();
}

uint64_t FlashBus::everyChip(uint8_t byte) const {
    uint64_t value = 0;
    for (int chip = 0; chip < chips(); ++chip) value |= uint64_t{byte} << (8 * chipWidth_ * chip);
    return value;
}

}  // namespace tov::files
