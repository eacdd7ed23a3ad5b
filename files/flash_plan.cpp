// Sector arithmetic of the flash workflow.
#include "files/flash_plan.h"

#include <algorithm>

namespace tov::files {

namespace {

constexpr uint32_t kChipSector = 64 * 1024;
constexpr size_t kLongestRun = 0xFFFF;

// Sorts a unit's runs by address and, where they overlap, lets the later run (in the order they
// were added) win; neighbours are joined up to the longest run.
std::vector<FlashRun> tidyRuns(std::vector<FlashRun> runs) {
    std::vector<FlashRun> sorted = runs;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const FlashRun& a, const FlashRun& b) { return a.address < b.address; });
    bool overlapping = false;
    for (size_t i = 1; i < sorted.size(); ++i) {
        overlapping |=
            sorted[i - 1].address + uint64_t{sorted[i - 1].bytes.size()} > sorted[i].address;
    }
    if (overlapping) {
        // Rare (a client writing the same bytes twice): resolved byte by byte, in the order the
        // runs came, into runs of one byte that are joined below.
        std::map<uint32_t, uint8_t> bytes;
        for (const FlashRun& run : runs) {
            for (size_t i = 0; i < run.bytes.size(); ++i)
                bytes[run.address + static_cast<uint32_t>(i)] = run.bytes[i];
        }
        sorted.clear();
        for (const auto& [address, value] : bytes) sorted.push_back({address, {value}});
    }
    std::vector<FlashRun> tidy;
    for (FlashRun& run : sorted) {
        if (!tidy.empty() && tidy.back().address + tidy.back().bytes.size() == run.address &&
            tidy.back().bytes.size() + run.bytes.size() <= kLongestRun) {
            tidy.back().bytes.insert(tidy.back().bytes.end(), run.bytes.begin(), run.bytes.end());
        } else {
            tidy.push_back(std::move(run));
        }
    }
    return tidy;
}

}  // namespace

uint32_t defaultSectorSize(const FlashSettings& setup) {
    const uint32_t chipBytes = flashChipBytes(setup.type);
    const uint32_t busBytes = setup.busBits / 8u;
    if (chipBytes == 0 || busBytes < chipBytes) return 0;
    const uint32_t perChip =
        setup.chipSize != 0 && setup.chipSize < kChipSector ? setup.chipSize : kChipSector;
    return perChip * (busBytes / chipBytes);
}

uint32_t eraseUnitSize(const FlashSettings& setup, const FlashOptions& options) {
    if (options.erase == EraseChoice::kChip) {
        const uint32_t chipBytes = flashChipBytes(setup.type);
        return chipBytes == 0 ? 0 : setup.chipSize * (setup.busBits / 8u / chipBytes);
    }
    return options.sectorSize != 0 ? options.sectorSize : defaultSectorSize(setup);
}

bool FlashPlan::isSkipped(uint64_t unit) const {
    return std::find(skipped.begin(), skipped.end(), unit) != skipped.end();
}

std::vector<uint64_t> FlashPlan::toProgram() const {
    std::vector<uint64_t> list;
    for (const auto& entry : units) {
        if (!isSkipped(entry.first)) list.push_back(entry.first);
    }
    return list;
}

uint64_t FlashPlan::bytesToProgram() const {
    uint64_t bytes = 0;
    for (const auto& [unit, runs] : units) {
        if (isSkipped(unit)) continue;
        for (const FlashRun& run : runs) bytes += run.bytes.size();
    }
    return bytes;
}

FlashPlan planFlash(const std::vector<ImageSegment>& segments, uint32_t unit) {
    FlashPlan plan;
    plan.unit = unit;
    if (unit == 0) return plan;
    std::map<uint64_t, std::vector<FlashRun>> pieces;
    for (const ImageSegment& segment : segments) {
        uint64_t at = segment.address;
        const uint64_t end = at + segment.bytes.size();
        while (at < end) {
            const uint64_t start = at - at % unit;
            const uint64_t stop = std::min({end, start + unit, at + kLongestRun});
            const auto first = segment.bytes.begin() + static_cast<ptrdiff_t>(at - segment.address);
            pieces[start].push_back(FlashRun{static_cast<uint32_t>(at),
                                             {first, first + static_cast<ptrdiff_t>(stop - at)}});
            at = stop;
        }
    }
    for (auto& [start, runs] : pieces) plan.units[start] = tidyRuns(std::move(runs));
    return plan;
}

}  // namespace tov::files
