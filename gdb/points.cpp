// Session-owned points over the probe's comparators.
#include "gdb/points.h"

#include <cstdio>

namespace tov::gdb {
namespace {

// The probe's watch modes: reads, writes, sized accesses, address-mask.
constexpr uint16_t kWatchReads = 0x02, kWatchWrites = 0x04, kWatchSized = 0x40, kWatchMasked = 0x80;
// The largest region one address-mask watch is allowed to cover: a wider one stops the program
// on so many unrelated accesses that it is of no use.
constexpr uint64_t kLargestRegion = 0x10000;

std::string hex(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

const char* typeName(char type) {
    switch (type) {
        case '0':
            return "breakpoint";
        case '2':
            return "write watchpoint";
        case '3':
            return "read watchpoint";
        default:
            return "access watchpoint";
    }
}

}  // namespace

std::optional<WatchCover> watchCover(uint32_t address, uint32_t length, std::string& why) {
    if (length == 1 || length == 2 || length == 4) return WatchCover{kWatchSized, address, length};
    const uint64_t last = uint64_t{address} + length - 1;
    if (length == 0 || last > 0xFFFFFFFFu) {
        why = "cannot watch " + std::to_string(length) + " bytes at " + hex(address);
        return std::nullopt;
    }
    uint64_t region = 1;
    while ((address / region) != (last / region)) region <<= 1;
    if (region > kLargestRegion) {
        why = "cannot watch " + std::to_string(length) + " bytes at " + hex(address) +
              ": the smallest aligned region around them is " + hex(region) +
              " bytes, the probe's address mask covers at most " + hex(kLargestRegion);
        return std::nullopt;
    }
    const uint32_t mask = static_cast<uint32_t>(region - 1);
    return WatchCover{kWatchMasked, address & ~mask, mask};
}

PointSet::Key PointSet::key(char type, uint32_t address, uint32_t kind) {
    // A breakpoint's kind is its instruction size; the probe's comparator needs only the address,
    // and software and hardware breakpoints are the same comparator.
    const bool breakpoint = type <= '1';
    return {breakpoint ? '0' : type, address, breakpoint ? 0u : kind};
}

bool PointSet::insert(char type, uint32_t address, uint32_t kind, std::string& why) {
    const Key k = key(type, address, kind);
    if (points_.contains(k)) return true;
    int32_t id = 0;
    if (std::get<0>(k) == '0') {
        id = probe_.breakAdd(address);
    } else {
        const std::optional<WatchCover> cover = watchCover(address, kind, why);
        if (!cover) return false;
        const uint16_t accesses = type == '2'   ? kWatchWrites
                                  : type == '3' ? kWatchReads
                                                : kWatchReads | kWatchWrites;
        id = probe_.watchAdd(cover->mode | accesses, cover->address, cover->bound);
    }
    if (id <= 0) return false;
    points_[k] = id;
    return true;
}

bool PointSet::remove(char type, uint32_t address, uint32_t kind) {
    const auto found = points_.find(key(type, address, kind));
    if (found == points_.end()) return true;
    const bool breakpoint = std::get<0>(found->first) == '0';
    const int32_t status =
        breakpoint ? probe_.breakDelete(found->second) : probe_.watchDelete(found->second);
    points_.erase(found);
    return status == 0;
}

size_t PointSet::removeAll() {
    const size_t count = points_.size();
    for (const auto& [k, id] : points_) {
        if (std::get<0>(k) == '0') {
            probe_.breakDelete(id);
        } else {
            probe_.watchDelete(id);
        }
    }
    points_.clear();
    return count;
}

std::optional<std::pair<char, uint32_t>> PointSet::watchpoint(int32_t id) const {
    for (const auto& [k, pointId] : points_) {
        if (std::get<0>(k) != '0' && pointId == id)
            return std::pair(std::get<0>(k), std::get<1>(k));
    }
    return std::nullopt;
}

std::string PointSet::describe() const {
    if (points_.empty()) return "no points in the probe\n";
    std::string text;
    for (const auto& [k, id] : points_) {
        const auto& [type, address, length] = k;
        text += std::string(typeName(type)) + " " + std::to_string(id) + " at " + hex(address);
        if (type != '0') text += ", " + std::to_string(length) + " bytes";
        text += "\n";
    }
    return text;
}

size_t removeLeftoverPoints(Probe& probe) {
    size_t removed = 0;
    for (int32_t id = 1; id <= kLeftoverSweep; ++id) {
        if (probe.breakDelete(id) == 0) ++removed;
        if (probe.watchDelete(id) == 0) ++removed;
    }
    return removed;
}

}  // namespace tov::gdb
