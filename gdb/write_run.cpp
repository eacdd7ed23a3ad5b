// The run of consecutive writes through the probe's bulk download.
#include "gdb/write_run.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace tov::gdb {

bool WriteRun::begin(uint32_t address) {
    if (open()) return false;
    if (probe_.downloadBegin() != 0) return false;
    active_ = true;
    first_ = next_ = heldAt_ = address;
    held_.clear();
    detail_ = 0;
    return true;
}

void WriteRun::add(std::span<const uint8_t> data) {
    if (!active_) return;
    held_.insert(held_.end(), data.begin(), data.end());
    next_ += static_cast<uint32_t>(data.size());
}

void WriteRun::pump() {
    if (!active_) return;
    if (const int32_t status = send(false); status != 0) failure_ = abandon(status);
}

int32_t WriteRun::finish() {
    if (failure_ != 0) return std::exchange(failure_, 0);
    if (!active_) return 0;
    const int32_t status = send(true);
    if (status != 0) return abandon(status);
    active_ = false;
    return probe_.downloadEnd(detail_);
}

int32_t WriteRun::abandon(int32_t error) {
    // The probe leaves its download state only when the download is ended.
    uint32_t detail = 0;
    probe_.downloadEnd(detail);
    detail_ = detail;
    active_ = false;
    held_.clear();
    return error;
}

int32_t WriteRun::send(bool all) {
    size_t done = 0;
    while (done < held_.size()) {
        const uint32_t at = heldAt_ + static_cast<uint32_t>(done);
        const size_t toBoundary = kBlock - at % kBlock;
        const size_t piece = std::min(toBoundary, held_.size() - done);
        // A piece short of its boundary waits for the next write, unless this is the end.
        if (piece < toBoundary && !all) break;
        if (const int32_t status =
                probe_.downloadSend(at, static_cast<uint16_t>(piece), held_.data() + done);
            status != 0) {
            return status;
        }
        done += piece;
    }
    held_.erase(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(done));
    heldAt_ += static_cast<uint32_t>(done);
    return 0;
}

std::string WriteRun::describe() const {
    char text[96];
    int used = std::snprintf(text, sizeof text, "writing 0x%08X-0x%08X",
                             static_cast<unsigned>(first_), static_cast<unsigned>(next_ - 1));
    if (detail_ != 0) {
        std::snprintf(text + used, sizeof text - used, ", probe detail 0x%08X",
                      static_cast<unsigned>(detail_));
    }
    return text;
}

}  // namespace tov::gdb
