// Reading an S-record file into its data count, ranges and progress marks.
#include "file_data.h"

#include <algorithm>
#include <cstdio>

#include "files/srecord_reader.h"

namespace tov::cli {

namespace {

constexpr uint64_t kMarkEvery = 4096;

}  // namespace

uint64_t FileData::dataAt(uint64_t fileBytes) const {
    const auto after =
        std::upper_bound(marks.begin(), marks.end(), fileBytes,
                         [](uint64_t value, const std::pair<uint64_t, uint64_t>& mark) {
                             return value < mark.first;
                         });
    if (after == marks.begin()) return 0;
    return std::prev(after)->second;
}

std::optional<FileData> readFileData(const std::string& path, uint32_t offset, bool keepBytes,
                                     std::string& problem) {
    files::SRecordReader reader(files::kLoadLineRules);
    if (!reader.open(path.c_str())) {
        problem = reader.problem();
        return std::nullopt;
    }
    FileData data;
    uint64_t lastMark = 0;
    files::SRecord record;
    files::SRecordReader::Status status;
    while ((status = reader.next(record)) == files::SRecordReader::Status::kRecord) {
        const uint32_t at = record.address + offset;
        if (!data.ranges.empty() && data.ranges.back().end == at) {
            data.ranges.back().end += record.length;
        } else {
            data.ranges.push_back({at, uint64_t{at} + record.length});
        }
        if (keepBytes) {
            for (uint32_t i = 0; i < record.length; ++i)
                data.bytes.emplace_back(at + i, record.data[i]);
        }
        data.dataBytes += record.length;
        if (data.dataBytes - lastMark >= kMarkEvery) {
            data.marks.emplace_back(reader.consumed(), data.dataBytes);
            lastMark = data.dataBytes;
        }
    }
    if (status != files::SRecordReader::Status::kEnd) {
        problem = reader.problem();
        return std::nullopt;
    }
    data.marks.emplace_back(reader.size(), data.dataBytes);
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
