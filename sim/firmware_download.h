// The firmware's side of the bulk download: the start request (0x28) and the data blocks (0x29)
// with their cumulative acknowledgements.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "sim/firmware_write_mode.h"
#include "sim/lzss_decoder.h"

namespace tov::sim {

inline constexpr uint8_t kDownloadStart = 0x28;
inline constexpr uint8_t kDownloadBlock = 0x29;

// What the probe announces in its start answer; tests change it to see the host's limits work.
struct DownloadSettings {
    uint8_t window = 3;
    uint16_t maxBlock = 1024;
    uint16_t ackTimeoutMs = 100;
};

// One download at a time: the blocks accepted so far, the decompression history, and whether
// the download has failed.
class Download {
public:
    DownloadSettings settings;

    // 0x28 mode -> 0x28, window u8, maximum block u16, acknowledgement time-out u16. Starts a
    // new download, also over a failed or unfinished one.
    std::vector<uint8_t> start(std::span<const uint8_t> request);

    // 0x29 compressed u8, sequence u32, address u32, length u16, data -> 0x29, status, count
    // u32, detail u32. The block the probe expects next is applied in the write mode and
    // acknowledged; one accepted before is acknowledged again without being applied (its
    // acknowledgement was lost); one further ahead is not answered (one before it was lost, and
    // the host sends again from its acknowledged count). A failed block stops the download:
    // later blocks are not answered, the failed one again gets its failed acknowledgement. An
    // empty answer means no answer.
    std::vector<uint8_t> block(std::span<const uint8_t> request, const WriteMode& mode,
                               WriteTargets& targets);

    bool active() const { return active_; }
    bool failed() const { return failed_; }
    // Blocks accepted in this download.
    uint32_t count() const { return count_; }

private:
    std::vector<uint8_t> acknowledgement(uint8_t status, uint32_t detail) const;
    std::vector<uint8_t> fail(uint8_t status, uint32_t detail);

    bool active_ = false;
    bool failed_ = false;
    uint32_t count_ = 0;
    std::vector<uint8_t> failedAnswer_;
    LzssDecoder decoder_;
    std::vector<uint8_t> data_;
};

}  // namespace tov::sim
