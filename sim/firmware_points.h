// The firmware's break- and watchpoint requests: add 0xBD, read 0xC2 and delete 0xBE of a
// breakpoint; add 0xBF and delete 0xC0 of a watchpoint.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "sim/target_points.h"

namespace tov::sim {

inline constexpr uint8_t kBreakAdd = 0xBD;
inline constexpr uint8_t kBreakDelete = 0xBE;
inline constexpr uint8_t kWatchAdd = 0xBF;
inline constexpr uint8_t kWatchDelete = 0xC0;
inline constexpr uint8_t kBreakRead = 0xC2;

// Breakpoint kinds: 0 hardware comparator, 1 the debugger's default; others answer -2102.
inline constexpr uint32_t kMaxBreakKind = 1;

// 0xBD address u32, kind u32 -> 0xBD status, id u16 (-2104 and id 0 when all 16 are taken).
std::vector<uint8_t> breakAdd(PointTable& points, std::span<const uint8_t> request);

// 0xC2 id u16 -> 0xC2 status, hit count u32 (how often the running target stopped there).
std::vector<uint8_t> breakRead(PointTable& points, std::span<const uint8_t> request);

// 0xBF mode u16, address u32, bound u32, third u32, fourth u32 -> 0xBF status, id u16. The mode
// must name exactly one of 0x40 (sized access; bound 0 for any size, or 1, 2, 4) and 0x80
// (address under the mask `bound`), and at least one of 0x02 (reads) and 0x04 (writes).
std::vector<uint8_t> watchAdd(PointTable& points, std::span<const uint8_t> request);

// 0xBE / 0xC0 id u16 -> status; an id that names no point (also 0xFFFF) answers -2102.
std::vector<uint8_t> breakDelete(PointTable& points, std::span<const uint8_t> request);
std::vector<uint8_t> watchDelete(PointTable& points, std::span<const uint8_t> request);

}  // namespace tov::sim
