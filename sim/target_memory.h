// The target's memory as the simulated probe sees it: sparse over the whole 4 GiB address space.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <unordered_map>

namespace tov::sim {

// Sparse target memory. Untouched memory reads as a recognisable pattern: every 32-bit aligned
// word holds its own address XOR 0xA5A5A5A5, stored big-endian (so the byte at address A is
// byte A % 4 of the big-endian word (A & ~3) ^ 0xA5A5A5A5). Pages of 4 KiB are allocated on the
// first write. One inclusive address range is not accessible: reads and writes touching it fail
// and change nothing. The megabyte at kRomFirst..kRomLast is read-only memory: it reads as the
// pattern, and writes to it succeed on the bus but leave it unchanged (only a read-back shows
// they did not take), unless the inaccessible range covers it.
class TargetMemory {
public:
    static constexpr uint32_t kPatternKey = 0xA5A5A5A5;
    static constexpr uint32_t kPageSize = 4096;
    static constexpr uint32_t kRomFirst = 0xFFE00000;
    static constexpr uint32_t kRomLast = 0xFFEFFFFF;

    TargetMemory(uint32_t unmappedFirst, uint32_t unmappedLast);

    // The pattern byte at an address that was never written.
    static uint8_t patternByte(uint32_t address);

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

    size_t pagesAllocated() const { return pages_.size(); }

private:
    using Page = std::array<uint8_t, kPageSize>;

    // Calls visit(address, offset in the range, length) for each stretch within one page.
    template <typename Visit>
    static void forEachPage(uint32_t address, size_t size, Visit visit);

    uint32_t unmappedFirst_;
    uint32_t unmappedLast_;
    std::unordered_map<uint32_t, std::unique_ptr<Page>> pages_;  // keyed by page number
};

}  // namespace tov::sim
