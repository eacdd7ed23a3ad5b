// What an S-record file holds, read by tov before it connects: the data bytes, the address
// ranges they cover, and how far into the data each part of the file is, so that progress and
// summaries count data bytes rather than file text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tov::cli {

// A run of addresses [begin, end) the file writes, after the offset is added.
struct AddressRange {
    uint64_t begin = 0;
    uint64_t end = 0;
};

struct FileData {
    uint64_t dataBytes = 0;
    std::vector<AddressRange> ranges;  // in file order, neighbours merged
    // (bytes of the file read, data bytes up to there), one pair every few KiB of data.
    std::vector<std::pair<uint64_t, uint64_t>> marks;
    // Every data byte by address (offset added), kept only when asked for.
    std::vector<std::pair<uint32_t, uint8_t>> bytes;

    // The data bytes the library has passed when it reports `fileBytes` of the file read.
    uint64_t dataAt(uint64_t fileBytes) const;
};

// Reads the file at `path`; nullopt with `problem` set ("line 12: bad checksum ...", or the
// system's reason) when it cannot be read. `keepBytes` keeps every data byte.
std::optional<FileData> readFileData(const std::string& path, uint32_t offset, bool keepBytes,
                                     std::string& problem);

// "0x00001000-0x00001FFF, 0x00008000-0x0000800F" (at most `shown` ranges, then ", ...").
std::string formatRanges(const std::vector<AddressRange>& ranges, size_t shown = 4);

}  // namespace tov::cli
