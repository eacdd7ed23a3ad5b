// Sparse target memory with a pattern for untouched bytes, one inaccessible range and a ROM.
#include "sim/target_memory.h"

#include <algorithm>

namespace tov::sim {

TargetMemory::TargetMemory(uint32_t unmappedFirst, uint32_t unmappedLast)
    : unmappedFirst_(unmappedFirst), unmappedLast_(unmappedLast) {}

uint8_t TargetMemory::patternByte(uint32_t address) {
    uint32_t word = (address & ~3u) ^ kPatternKey;
    return static_cast<uint8_t>(word >> (8 * (3 - (address & 3u))));
}

bool TargetMemory::accessible(uint32_t address, size_t size) const {
    if (unmappedFirst_ > unmappedLast_) return true;  // empty range
    for (size_t i = 0; i < size; ++i) {
        uint32_t a = address + static_cast<uint32_t>(i);
        if (a >= unmappedFirst_ && a <= unmappedLast_) return false;
    }
    return true;
}

bool TargetMemory::read(uint32_t address, std::span<uint8_t> out) const {
    if (!accessible(address, out.size())) {
        std::fill(out.begin(), out.end(), uint8_t{0});
        return false;
    }
    for (size_t i = 0; i < out.size(); ++i) {
        uint32_t a = address + static_cast<uint32_t>(i);
        auto page = pages_.find(a / kPageSize);
        out[i] = page == pages_.end() ? patternByte(a) : (*page->second)[a % kPageSize];
    }
    return true;
}

bool TargetMemory::write(uint32_t address, std::span<const uint8_t> data) {
    if (!accessible(address, data.size())) return false;
    for (size_t i = 0; i < data.size(); ++i) {
        uint32_t a = address + static_cast<uint32_t>(i);
        if (a >= kRomFirst && a <= kRomLast) continue;
        std::unique_ptr<Page>& page = pages_[a / kPageSize];
        if (!page) {
            page = std::make_unique<Page>();
            uint32_t base = a & ~(kPageSize - 1);
            for (uint32_t j = 0; j < kPageSize; ++j) (*page)[j] = patternByte(base + j);
        }
        (*page)[a % kPageSize] = data[i];
    }
    return true;
}

}  // namespace tov::sim
