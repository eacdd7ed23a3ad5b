// Sector arithmetic of the flash workflow.
#include "flash_plan.h"

#include <algorithm>

namespace tov::cli {

namespace {

constexpr uint32_t kChipSector = 64 * 1024;

}  // namespace

uint32_t defaultSectorSize(const FlashSetup& setup) {
    const uint32_t chipBytes = flashChipBytes(setup.type);
    const uint32_t busBytes = setup.busBits / 8u;
    if (chipBytes == 0 || busBytes < chipBytes) return 0;
    const uint32_t perChip =
        setup.chipSize != 0 && setup.chipSize < kChipSector ? setup.chipSize : kChipSector;
    return perChip * (busBytes / chipBytes);
}

FlashPlan planFlash(const FileData& data, uint32_t unit) {
    FlashPlan plan;
    plan.unit = unit;
    for (const auto& [address, value] : data.bytes) {
        plan.units[address - address % unit].emplace_back(address, value);
    }
    return plan;
}

std::vector<std::pair<uint32_t, std::vector<uint8_t>>> unitRuns(
    const std::vector<std::pair<uint32_t, uint8_t>>& bytes) {
    std::vector<std::pair<uint32_t, uint8_t>> sorted = bytes;
    // A later record for the same address wins, as it does when the file is programmed.
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::pair<uint32_t, std::vector<uint8_t>>> runs;
    for (size_t i = 0; i < sorted.size(); ++i) {
        const auto [address, value] = sorted[i];
        if (i + 1 < sorted.size() && sorted[i + 1].first == address) continue;
        if (!runs.empty() && runs.back().first + runs.back().second.size() == address &&
            runs.back().second.size() < 0xFFFF) {
            runs.back().second.push_back(value);
        } else {
            runs.push_back({address, {value}});
        }
    }
    return runs;
}

}  // namespace tov::cli
