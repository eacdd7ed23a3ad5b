// The flash workflow of tov flash on external chips: which sectors the file touches, which of
// them already hold the file's bytes, what is erased and programmed, and the summary of it.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "file_data.h"
#include "flash_setup.h"

namespace tov::cli {

enum class EraseChoice { kAuto, kChip, kNone };

struct FlashOptions {
    EraseChoice erase = EraseChoice::kAuto;
    uint32_t sectorSize = 0;  // 0: the default for the set-up
    bool skipUnchanged = false;
    bool verify = false;
    bool dryRun = false;
};

// Bytes of one sector across the bus the set-up most likely has: 64 KiB per chip (the chip when
// smaller), times the chips side by side; 0 when the set-up's chip width is unknown.
uint32_t defaultSectorSize(const FlashSetup& setup);

// The file's bytes grouped by the sector (or with --erase chip, the bank of chips) holding them.
struct FlashPlan {
    uint32_t unit = 0;  // bytes of one sector or bank
    // Start of each touched unit with the file's bytes in it, by address.
    std::map<uint64_t, std::vector<std::pair<uint32_t, uint8_t>>> units;
    std::vector<uint64_t> skipped;  // units found equal to the file
};

// Groups the file's bytes (FileData::bytes) into units of `unit` bytes.
FlashPlan planFlash(const FileData& data, uint32_t unit);

// The contiguous runs of a unit's bytes as (address, bytes), in address order.
std::vector<std::pair<uint32_t, std::vector<uint8_t>>> unitRuns(
    const std::vector<std::pair<uint32_t, uint8_t>>& bytes);

}  // namespace tov::cli
