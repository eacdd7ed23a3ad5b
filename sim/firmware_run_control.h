// The firmware's run-control requests: start 0xBA, halt 0xBB, reset 0x82, step 0xBC, state
// 0xB4, startup 0xB5 and the debug clock speed 0x83.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "sim/target_memory.h"
#include "sim/target_model.h"

namespace tov::sim {

inline constexpr uint8_t kResetTarget = 0x82;
inline constexpr uint8_t kDebugClock = 0x83;
inline constexpr uint8_t kTargetState = 0xB4;
inline constexpr uint8_t kTargetStartup = 0xB5;
inline constexpr uint8_t kTargetStart = 0xBA;
inline constexpr uint8_t kTargetHalt = 0xBB;
inline constexpr uint8_t kTargetStep = 0xBC;

// The last startup the host requested, as the firmware keeps it.
struct StartupRecord {
    // One init entry: item type, address (or register number), value.
    struct Entry {
        uint16_t kind;
        uint32_t address;
        uint32_t value;
    };
    static constexpr size_t kMaxEntries = 128;

    uint16_t value = 0;
    uint32_t parameter = 0;
    std::vector<Entry> entries;
};

// 0xBA -> 0xBA status; 0xBB -> 0xBB status.
std::vector<uint8_t> targetStart(TargetModel& target, std::span<const uint8_t> request);
std::vector<uint8_t> targetHalt(TargetModel& target, std::span<const uint8_t> request);

// 0x82 0x00 time u16 -> 0x82 (one byte; a malformed request answers 0x00 instead).
std::vector<uint8_t> targetReset(TargetModel& target, std::span<const uint8_t> request);

// 0xBC first u32, second u32, third u16 -> 0xBC status, PC u32. One instruction whatever the
// fields say; the host uses `third` to lengthen its wait.
std::vector<uint8_t> targetStep(TargetModel& target, std::span<const uint8_t> request);

// 0xB4 -> 0xB4 state u8, error s16, reset time u32, n u8, n values u32 (see TargetModel). A poll
// lets a running target execute its next burst first. A malformed request answers 0x00.
std::vector<uint8_t> targetState(TargetModel& target, std::span<const uint8_t> request);

// 0xB5 time u16, parameter u32, count u16, count x (type u16, address u32, value u32)
// -> 0xB5 status. The target is reset and the init entries run in order: types 2, 3, 4 write
// 8, 16 or 32 bits of memory, 5 writes a register of the current mode, 7..22 write a register of
// coprocessor 22 - type (15 and 0 are kept, others are accepted and ignored), the rest (no
// operation, delays, ...) do nothing here. A count that does not match the length, or above
// 128, answers -2102 and changes nothing; an entry that fails stops the list with -2107
// (memory not accessible) or -2102 (no such register). The target ends ready in any case.
std::vector<uint8_t> targetStartup(TargetModel& target, TargetMemory& memory, StartupRecord& record,
                                   std::span<const uint8_t> request);

// 0x83 speed u32 -> 0x83 (a malformed request answers 0x00).
std::vector<uint8_t> debugClockSpeed(TargetModel& target, std::span<const uint8_t> request);

}  // namespace tov::sim
