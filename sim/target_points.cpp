// Breakpoint and watchpoint slots of the simulated firmware.
#include "sim/target_points.h"

#include <algorithm>

namespace tov::sim {
namespace {

template <typename Slots, typename Point>
std::optional<uint16_t> take(Slots& slots, const Point& point) {
    for (size_t i = 0; i < slots.size(); ++i) {
        if (!slots[i]) {
            slots[i] = point;
            return static_cast<uint16_t>(i + 1);
        }
    }
    return std::nullopt;
}

template <typename Slots>
bool release(Slots& slots, uint16_t id) {
    if (id == 0 || id > slots.size() || !slots[id - 1]) return false;
    slots[id - 1].reset();
    return true;
}

template <typename Slots>
size_t used(const Slots& slots) {
    return static_cast<size_t>(
        std::count_if(slots.begin(), slots.end(), [](const auto& s) { return s.has_value(); }));
}

}  // namespace

std::optional<uint16_t> PointTable::addBreakpoint(uint32_t address, uint32_t kind) {
    return take(breakpoints_, Breakpoint{address, kind, 0});
}

std::optional<uint16_t> PointTable::addWatchpoint(const Watchpoint& point) {
    return take(watchpoints_, point);
}

bool PointTable::deleteBreakpoint(uint16_t id) {
    return release(breakpoints_, id);
}

bool PointTable::deleteWatchpoint(uint16_t id) {
    return release(watchpoints_, id);
}

PointTable::Breakpoint* PointTable::breakpoint(uint16_t id) {
    if (id == 0 || id > kBreakpoints || !breakpoints_[id - 1]) return nullptr;
    return &*breakpoints_[id - 1];
}

const PointTable::Watchpoint* PointTable::watchpoint(uint16_t id) const {
    if (id == 0 || id > kWatchpoints || !watchpoints_[id - 1]) return nullptr;
    return &*watchpoints_[id - 1];
}

std::optional<uint16_t> PointTable::breakpointAt(uint32_t pc) const {
    for (size_t i = 0; i < kBreakpoints; ++i) {
        if (breakpoints_[i] && (breakpoints_[i]->address & ~1u) == pc) {
            return static_cast<uint16_t>(i + 1);
        }
    }
    return std::nullopt;
}

size_t PointTable::breakpointCount() const {
    return used(breakpoints_);
}

size_t PointTable::watchpointCount() const {
    return used(watchpoints_);
}

void PointTable::clear() {
    breakpoints_.fill(std::nullopt);
    watchpoints_.fill(std::nullopt);
}

}  // namespace tov::sim
