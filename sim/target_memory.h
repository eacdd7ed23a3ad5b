// The target's memory as the simulated probe sees it: sparse over the whole 4 GiB address space.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "sim/memory_store.h"

namespace tov::sim {

// Sparse target memory. Untouched memory reads as a recognisable pattern: every 32-bit aligned
// word holds its own address XOR 0xA5A5A5A5, stored in the target's byte order, so a word read
// of untouched memory shows the pattern whichever order the target runs in. The bytes live in one
// MemoryStore, whose granules get host memory on first touch, so the emulated core can map them in
// place. One inclusive address range is not accessible: reads and writes touching it fail and
// change nothing. The megabyte at kRomFirst..kRomLast is read-only memory: it reads as the pattern,
// and writes to it succeed on the bus but leave it unchanged (only a read-back shows they did not
// take), unless the inaccessible range covers it.
class TargetMemory {
public:
    static constexpr uint32_t kPatternKey = 0xA5A5A5A5;
    static constexpr uint32_t kPageSize = 4096;
    static constexpr uint32_t kRomFirst = 0xFFE00000;
    static constexpr uint32_t kRomLast = 0xFFEFFFFF;

    TargetMemory(uint32_t unmappedFirst, uint32_t unmappedLast, bool bigEndian = false);

    // The pattern byte at an address that was never written, on a target of the given order.
    static uint8_t patternByte(uint32_t address, bool bigEndian = false);

    // True when every byte of [address, address + size) is accessible (addresses wrap at 4 GiB).
    bool accessible(uint32_t address, size_t size) const {
        return !firstInaccessible(address, size);
    }
    // The first address of [address, address + size) that is not accessible, if any.
    std::optional<uint32_t> firstInaccessible(uint32_t address, size_t size) const;

    // Reads out.size() bytes. When any byte is not accessible, fills out with zeros and returns
    // false.
    bool read(uint32_t address, std::span<uint8_t> out) const;
    // Writes all bytes, or none when any byte is not accessible (returns false then). Bytes in
    // the read-only memory are dropped.
    bool write(uint32_t address, std::span<const uint8_t> data);

    // How many granules of the store hold memory (none until something is written or the core
    // touches one).
    size_t granulesMaterialized() const { return store_.granulesMaterialized(); }
    // The store's bytes, for the emulated core to map; nullptr when the host gave no store.
    uint8_t* store() const { return store_.base(); }

    // The ranges written since the last call, as [first, end) pairs, merged where they touch;
    // `all` is set instead when there were too many to keep apart. The core drops the code it
    // translated from them.
    std::vector<std::pair<uint64_t, uint64_t>> takeWrites(bool& all);

private:
    static constexpr size_t kMaxWrites = 64;

    // Calls visit(address, offset in the range, length) for each stretch within one granule.
    template <typename Visit>
    static void forEachGranule(uint32_t address, size_t size, Visit visit);
    static void fillPattern(const void* self, uint32_t base, uint8_t* out, size_t size);
    void noteWrite(uint32_t address, size_t size);

    uint32_t unmappedFirst_;
    uint32_t unmappedLast_;
    bool bigEndian_;
    MemoryStore store_;
    std::vector<std::pair<uint64_t, uint64_t>> writes_;
    bool allWritten_ = false;
};

}  // namespace tov::sim
