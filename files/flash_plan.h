// The plan of a flash pass on external chips: the erase unit of a set-up, which units (sectors,
// or chip banks) an image touches and the runs of its bytes in each.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "files/flash_settings.h"
#include "files/image_file.h"

namespace tov::files {

enum class EraseChoice { kAuto, kChip, kNone };

struct FlashOptions {
    EraseChoice erase = EraseChoice::kAuto;
    uint32_t sectorSize = 0;  // 0: the default for the set-up
    bool skipUnchanged = false;
    bool verify = false;
    bool dryRun = false;
    // Where the flash lies: data outside [rangeBase, rangeBase + rangeSize) is not flash; it is
    // written as memory, or with refuseOutside the file is refused. rangeSize 0: all of it is.
    uint32_t rangeBase = 0;
    uint64_t rangeSize = 0;
    bool refuseOutside = false;
};

// Bytes of one sector across the bus the set-up most likely has: 64 KiB per chip (the chip when
// smaller), times the chips side by side; 0 when the set-up's chip width is unknown.
uint32_t defaultSectorSize(const FlashSettings& setup);

// Bytes of one erase unit: the set-up's sector (or the options' sector size), the bank of chips
// with EraseChoice::kChip; 0 when it cannot be known.
uint32_t eraseUnitSize(const FlashSettings& setup, const FlashOptions& options);

// One contiguous run of bytes, at most 0xFFFF long (one block write).
struct FlashRun {
    uint32_t address = 0;
    std::vector<uint8_t> bytes;
};

struct FlashPlan {
    uint32_t unit = 0;  // bytes of one sector or bank
    // Start of each touched unit with its runs in address order.
    std::map<uint64_t, std::vector<FlashRun>> units;
    std::vector<uint64_t> skipped;  // units found to hold their bytes already

    bool isSkipped(uint64_t unit) const;
    // The units not skipped, by address, and the bytes they hold.
    std::vector<uint64_t> toProgram() const;
    uint64_t bytesToProgram() const;
};

// Groups the segments' bytes into units of `unit` bytes; where segments overlap, the later one
// wins.
FlashPlan planFlash(const std::vector<ImageSegment>& segments, uint32_t unit);

}  // namespace tov::files
