// The firmware's single-item memory accessors: write 0x01/0x02/0x03 and read 0x05/0x06/0x07
// of a byte, a 16-bit or a 32-bit word, on the same target memory as the memory pieces.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "sim/target_bus.h"

namespace tov::sim {

// Request codes; the answers carry 0x41 (byte), 0x42 (16 bits) or 0x43 (32 bits) and the value.
// On the wire a value is always big-endian; in target memory it lies in the target's byte order,
// as the target's own store of that width would put it (a flash bank's words lie most significant
// byte first whatever the target's order). These answers have no status:
// - a write answers the value read back after writing, so a write into the read-only memory
//   echoes the old contents and the host's verify fails;
// - at an inaccessible address a read answers 0 and a write answers the complement of the
//   value written, so that the host's verify fails whatever the value (an echo of 0 would let
//   a written 0 pass);
// - a write that reaches a flash bank answers the value written: reading flash back would be a
//   bus read the chips answer (with status while they erase) and would itself count as a poll;
// - a request of the wrong length answers the single byte 0x00, which the host rejects.
inline constexpr uint8_t kSetByte = 0x01;
inline constexpr uint8_t kSetWord = 0x02;
inline constexpr uint8_t kSetLong = 0x03;
inline constexpr uint8_t kGetByte = 0x05;
inline constexpr uint8_t kGetWord = 0x06;
inline constexpr uint8_t kGetLong = 0x07;

// Handles any of the six codes above on a target running big- or little-endian.
std::vector<uint8_t> singleItem(TargetBus& bus, std::span<const uint8_t> request,
                                bool bigEndianTarget);

}  // namespace tov::sim
