// The firmware's register requests: core registers 0xB6/0xB7, floating-point registers
// 0xC4/0xC5 and vector registers 0xC8/0xC9.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "sim/target_model.h"

namespace tov::sim {

inline constexpr uint8_t kReadRegisters = 0xB6;
inline constexpr uint8_t kWriteRegisters = 0xB7;
inline constexpr uint8_t kReadFpRegisters = 0xC4;
inline constexpr uint8_t kWriteFpRegisters = 0xC5;
inline constexpr uint8_t kReadVectorRegisters = 0xC8;
inline constexpr uint8_t kWriteVectorRegisters = 0xC9;

// All of them need a target halted in debug mode (-2101 otherwise). A request of the wrong
// length, an unknown register or an index range outside the file answers -2102; a refused
// request answers only the code and the status, and a refused write changes nothing.

// 0xB6 count u16, count x (group u16, number u16) -> 0xB6 status, n u16, n x value u32.
std::vector<uint8_t> readRegisters(TargetModel& target, std::span<const uint8_t> request);

// 0xB7 count u16, count x (group u16, number u16, value u32) -> 0xB7 status.
std::vector<uint8_t> writeRegisters(TargetModel& target, std::span<const uint8_t> request);

// 0xC4 first u16, last u16 -> 0xC4 status, 8 bytes per register (128 registers).
// 0xC8 first u16, last u16 -> 0xC8 status, 16 bytes per register (64 registers).
std::vector<uint8_t> readFpRegisters(TargetModel& target, std::span<const uint8_t> request);
std::vector<uint8_t> readVectorRegisters(TargetModel& target, std::span<const uint8_t> request);

// 0xC5 / 0xC9 first u16, last u16, the registers' bytes -> status.
std::vector<uint8_t> writeFpRegisters(TargetModel& target, std::span<const uint8_t> request);
std::vector<uint8_t> writeVectorRegisters(TargetModel& target, std::span<const uint8_t> request);

}  // namespace tov::sim
