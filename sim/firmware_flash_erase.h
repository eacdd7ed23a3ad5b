// The firmware's own flash erase: start an erase (0x90) and fetch its result (0x91).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "sim/flash_bank.h"
#include "sim/target_memory.h"

namespace tov::sim {

inline constexpr uint8_t kFlashErase = 0x90;
inline constexpr uint8_t kFlashEraseResult = 0x91;

// Status bytes of the erase request.
inline constexpr uint8_t kEraseStarted = 0;
inline constexpr uint8_t kEraseUnknownType = 1;
inline constexpr uint8_t kEraseNoWorkspace = 3;
inline constexpr uint8_t kEraseBadParameter = 4;

// 0x90 type u8, sector flag u8, 0 u32, address u32, workspace u32, parameter u32 -> 0x90, status.
// Only the types the probe erases itself are taken (else 1); the workspace must be 256 bytes of
// writable RAM outside the flash (else 3); a malformed request or an address outside every bank
// answers 4. The erase starts at once and runs on the bank's chips; an erase still running is
// finished first.
std::vector<uint8_t> flashErase(FlashBanks& flash, const TargetMemory& memory,
                                std::span<const uint8_t> request);

// 0x91 -> 0x91, result u8 (0 ok, 1 failed), u32 (the failing sector's address, else 0). Waits
// for a running erase to end. A malformed request answers the one byte 0x00.
std::vector<uint8_t> flashEraseResult(FlashBanks& flash, std::span<const uint8_t> request);

}  // namespace tov::sim
