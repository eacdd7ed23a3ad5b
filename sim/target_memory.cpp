// Sparse target memory with a pattern for untouched bytes, one inaccessible range and a ROM.
#include "sim/target_memory.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace tov::sim {

TargetMemory::TargetMemory(uint32_t unmappedFirst, uint32_t unmappedLast, bool bigEndian)
    : unmappedFirst_(unmappedFirst),
      unmappedLast_(unmappedLast),
      bigEndian_(bigEndian),
      store_(&fillPattern, this) {}

uint8_t TargetMemory::patternByte(uint32_t address, bool bigEndian) {
    const uint32_t word = (address & ~3u) ^ kPatternKey;
    const uint32_t byte = bigEndian ? 3 - (address & 3u) : address & 3u;
    return static_cast<uint8_t>(word >> (8 * byte));
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

void TargetMemory::fillPattern(const void* self, uint32_t base, uint8_t* out, size_t size) {
    // Whole aligned words: each one is its address XOR the key, in the target's byte order.
    const bool big = static_cast<const TargetMemory*>(self)->bigEndian_;
    for (size_t i = 0; i < size; i += 4) {
        const uint32_t word = (base + static_cast<uint32_t>(i)) ^ kPatternKey;
        for (size_t b = 0; b < 4; ++b)
            out[i + b] = static_cast<uint8_t>(word >> (8 * (big ? 3 - b : b)));
    }
}

template <typename Visit>
void TargetMemory::forEachGranule(uint32_t address, size_t size, Visit visit) {
    constexpr uint32_t kGranule = MemoryStore::kGranule;
    for (size_t done = 0; done < size;) {
        const uint32_t at = address + static_cast<uint32_t>(done);
        const size_t length = std::min<size_t>(size - done, kGranule - at % kGranule);
        visit(at, done, length);
        done += length;
    }
}

bool TargetMemory::read(uint32_t address, std::span<uint8_t> out) const {
    if (!accessible(address, out.size()) || !store_.usable()) {
        std::fill(out.begin(), out.end(), uint8_t{0});
        return false;
    }
    forEachGranule(address, out.size(), [&](uint32_t at, size_t offset, size_t length) {
        if (store_.materialized(at)) {
            std::memcpy(out.data() + offset, store_.base() + at, length);
        } else {
            for (size_t i = 0; i < length; ++i)
                out[offset + i] = patternByte(at + static_cast<uint32_t>(i), bigEndian_);
        }
    });
    return true;
}

bool TargetMemory::write(uint32_t address, std::span<const uint8_t> data) {
    if (!accessible(address, data.size()) || !store_.usable()) return false;
    bool ok = true;
    forEachGranule(address, data.size(), [&](uint32_t at, size_t, size_t length) {
        ok = ok && ((at >= kRomFirst && at <= kRomLast) || store_.materialize(at, length));
    });
    if (!ok) return false;
    forEachGranule(address, data.size(), [&](uint32_t at, size_t offset, size_t length) {
        // Granules lie wholly inside or outside the read-only megabyte.
        if (at >= kRomFirst && at <= kRomLast) return;
        std::memcpy(store_.base() + at, data.data() + offset, length);
        noteWrite(at, length);
    });
    return true;
}

void TargetMemory::noteWrite(uint32_t address, size_t size) {
    if (allWritten_ || size == 0) return;
    const uint64_t first = address;
    const uint64_t end = first + size;
    for (auto& range : writes_) {
        if (first <= range.second && end >= range.first) {
            range.first = std::min(range.first, first);
            range.second = std::max(range.second, end);
            return;
        }
    }
    if (writes_.size() == kMaxWrites) {
        writes_.clear();
        allWritten_ = true;
        return;
    }
    writes_.emplace_back(first, end);
}

std::vector<std::pair<uint64_t, uint64_t>> TargetMemory::takeWrites(bool& all) {
    all = allWritten_;
    allWritten_ = false;
    return std::exchange(writes_, {});
}

}  // namespace tov::sim
