// What an image file holds, as tov's summaries show it: the data bytes and the address ranges
// they cover.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "files/image_file.h"

namespace tov::cli {

// A run of addresses [begin, end) the file writes, after the offset is added.
struct AddressRange {
    uint64_t begin = 0;
    uint64_t end = 0;
};

struct FileData {
    uint64_t dataBytes = 0;
    std::vector<AddressRange> ranges;  // in file order, neighbours merged
};

// The data count and ranges of an image read into memory.
FileData fileDataOf(const files::Image& image);

// "0x00001000-0x00001FFF, 0x00008000-0x0000800F" (at most `shown` ranges, then ", ...").
std::string formatRanges(const std::vector<AddressRange>& ranges, size_t shown = 4);

}  // namespace tov::cli
