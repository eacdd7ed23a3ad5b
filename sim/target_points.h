// The simulated firmware's breakpoint and watchpoint tables.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace tov::sim {

// Breakpoints (16) and watchpoints (4) as the probe's comparators hold them. Identifiers are
// 1-based slot numbers, so 0 and 0xFFFF never name a point.
class PointTable {
public:
    static constexpr size_t kBreakpoints = 16;
    static constexpr size_t kWatchpoints = 4;

    struct Breakpoint {
        uint32_t address = 0;
        uint32_t kind = 0;
        uint32_t hits = 0;
    };
    struct Watchpoint {
        uint16_t mode = 0;
        uint32_t address = 0;
        uint32_t bound = 0;
        uint32_t third = 0;
        uint32_t fourth = 0;
    };

    // The new identifier, or nothing when every slot is taken.
    std::optional<uint16_t> addBreakpoint(uint32_t address, uint32_t kind);
    std::optional<uint16_t> addWatchpoint(const Watchpoint& point);
    bool deleteBreakpoint(uint16_t id);
    bool deleteWatchpoint(uint16_t id);
    Breakpoint* breakpoint(uint16_t id);
    const Breakpoint* breakpoint(uint16_t id) const {
        return const_cast<PointTable&>(*this).breakpoint(id);
    }
    const Watchpoint* watchpoint(uint16_t id) const;

    // The breakpoint whose instruction starts at `pc` (the Thumb bit of its address ignored).
    std::optional<uint16_t> breakpointAt(uint32_t pc) const;
    size_t breakpointCount() const;
    size_t watchpointCount() const;
    void clear();

private:
    std::array<std::optional<Breakpoint>, kBreakpoints> breakpoints_;
    std::array<std::optional<Watchpoint>, kWatchpoints> watchpoints_;
};

}  // namespace tov::sim
