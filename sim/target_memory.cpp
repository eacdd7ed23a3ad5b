// Sparse target memory with a pattern for untouched bytes, one inaccessible range and a ROM.
#include "sim/target_memory.h"

#include <algorithm>
#include <cstring>

namespace tov::sim {

TargetMemory::TargetMemory(uint32_t unmappedFirst, uint32_t unmappedLast)
    : unmappedFirst_(unmappedFirst), unmappedLast_(unmappedLast) {}

uint8_t TargetMemory::patternByte(uint32_t address) {
    uint32_t word = (address & ~3u) ^ kPatternKey;
    return static_cast<uint8_t>(word >> (8 * (3 - (address & 3u))));
}

std::optional<uint32_t> TargetMemory::firstInaccessible(uint32_t address, size_t size) const {
    if (unmappedFirst_ > unmappedLast_) return std::nullopt;  // empty range
    // Split at the 4 GiB wrap so that each part is one plain interval.
    uint64_t first = address;
    uint64_t left = size;
    while (left > 0) {
        const uint64_t length = std::min<uint64_t>(left, 0x100000000ULL - first);
        const uint64_t last = first + length - 1;
        if (first <= unmappedLast_ && unmappedFirst_ <= last)
            return static_cast<uint32_t>(std::max<uint64_t>(first, unmappedFirst_));
        left -= length;
        first = 0;
    }
    return std::nullopt;
}

template <typename Visit>
void TargetMemory::forEachPage(uint32_t address, size_t size, Visit visit) {
    for (size_t done = 0; done < size;) {
        const uint32_t at = address + static_cast<uint32_t>(done);
        const uint32_t inPage = at % kPageSize;
        const size_t length = std::min<size_t>(size - done, kPageSize - inPage);
        visit(at, done, length);
        done += length;
    }
}

bool TargetMemory::read(uint32_t address, std::span<uint8_t> out) const {
    if (!accessible(address, out.size())) {
        std::fill(out.begin(), out.end(), uint8_t{0});
        return false;
    }
    forEachPage(address, out.size(), [&](uint32_t at, size_t offset, size_t length) {
        auto page = pages_.find(at / kPageSize);
        if (page != pages_.end()) {
            std::memcpy(out.data() + offset, page->second->data() + at % kPageSize, length);
        } else {
            for (size_t i = 0; i < length; ++i)
                out[offset + i] = patternByte(at + static_cast<uint32_t>(i));
        }
    });
    return true;
}

bool TargetMemory::write(uint32_t address, std::span<const uint8_t> data) {
    if (!accessible(address, data.size())) return false;
    forEachPage(address, data.size(), [&](uint32_t at, size_t offset, size_t length) {
        // Pages lie wholly inside or outside the read-only megabyte.
        if (at >= kRomFirst && at <= kRomLast) return;
        std::unique_ptr<Page>& page = pages_[at / kPageSize];
        if (!page) {
            page = std::make_unique<Page>();
            const uint32_t base = at & ~(kPageSize - 1);
            for (uint32_t j = 0; j < kPageSize; ++j) (*page)[j] = patternByte(base + j);
        }
        std::memcpy(page->data() + at % kPageSize, data.data() + offset, length);
    });
    return true;
}

}  // namespace tov::sim
