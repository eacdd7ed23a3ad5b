// The firmware's own flash erase: start an erase (0x90) and fetch its result (0x91), on the
// external flash banks or on the target's on-chip flash.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "sim/firmware_write_mode.h"

namespace tov::sim {

inline constexpr uint8_t kFlashErase = 0x90;
inline constexpr uint8_t kFlashEraseResult = 0x91;

// Status bytes of the erase request.
inline constexpr uint8_t kEraseStarted = 0;
inline constexpr uint8_t kEraseUnknownType = 1;
inline constexpr uint8_t kEraseNoWorkspace = 3;
inline constexpr uint8_t kEraseBadParameter = 4;

// 0x90 type u8, sector flag u8, selection u32, address u32, workspace u32, parameter u32 ->
// 0x90, status. Only the types the probe erases itself are taken (else 1); the workspace must be
// usable (else 3); a malformed request answers 4.
// - On-chip types (14-21, 25, 26) with the address in the on-chip flash erase there at once, as
//   ChipFlash::erase says: sector flag != 0 and selection 0 the sector holding the address;
//   sector flag != 0 and selection != 0 every sector i (0..31 from the region's base) whose bit
//   i is set; sector flag 0 the whole region. A selection naming a sector the region does not
//   have answers 4.
// - Types 21, 39, 40 and 41 with the address in a flash bank start the erase on the bank's chips
//   (sector flag != 0: the sector, else the chips); an erase still running is finished first.
// - Any other address answers 4.
std::vector<uint8_t> flashErase(WriteTargets& targets, std::span<const uint8_t> request);

// 0x91 -> 0x91, result u8 (0 ok, 1 failed), u32 (the first failing sector's address, else 0),
// for the last erase started. Waits for a running erase of the banks to end. A malformed
// request answers the one byte 0x00.
std::vector<uint8_t> flashEraseResult(WriteTargets& targets, std::span<const uint8_t> request);

}  // namespace tov::sim
