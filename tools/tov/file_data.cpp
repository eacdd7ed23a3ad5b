// The data count and address ranges of an image for the summaries.
#include "file_data.h"

#include <cstdio>

namespace tov::cli {

FileData fileDataOf(const files::Image& image) {
    FileData data;
    for (const files::ImageSegment& segment : image.segments) {
        const uint64_t length = segment.bytes.size();
        if (!data.ranges.empty() && data.ranges.back().end == segment.address) {
            data.ranges.back().end += length;
        } else {
            data.ranges.push_back({segment.address, segment.address + length});
        }
        data.dataBytes += length;
    }
    return data;
}

std::string formatRanges(const std::vector<AddressRange>& ranges, size_t shown) {
    std::string text;
    for (size_t i = 0; i < ranges.size() && i < shown; ++i) {
        char item[40];
        std::snprintf(item, sizeof item, "%s0x%08llX-0x%08llX", i == 0 ? "" : ", ",
                      static_cast<unsigned long long>(ranges[i].begin),
                      static_cast<unsigned long long>(ranges[i].end - 1));
        text += item;
    }
    if (ranges.size() > shown) text += ", ... (" + std::to_string(ranges.size()) + " ranges)";
    return text;
}

}  // namespace tov::cli
