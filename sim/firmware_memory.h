// The firmware's memory piece requests: read (0xB8) and write (0xB9) of target memory.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "sim/target_bus.h"

namespace tov::sim {

inline constexpr uint8_t kReadMemoryPiece = 0xB8;
inline constexpr uint8_t kWriteMemoryPiece = 0xB9;

// 0xB8 address u32, access u16, size u16 -> 0xB8, status s16, size data bytes.
// A request of the wrong length, or one whose answer would not fit a frame, answers only the
// code and status -2102; an inaccessible range answers -2107 and zeros for the data.
// Bytes in a flash bank are bus accesses of the bank's width, answered by the chips.
std::vector<uint8_t> readMemoryPiece(TargetBus& bus, std::span<const uint8_t> request);

// 0xB9 address u32, access u16, size u16, data -> 0xB9, status s16.
std::vector<uint8_t> writeMemoryPiece(TargetBus& bus, std::span<const uint8_t> request);

}  // namespace tov::sim
