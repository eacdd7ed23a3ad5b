// The probe's LZSS decompressor of download blocks: a 4096-byte history ring with absolute
// positions, groups of eight items behind a flag byte, the history kept across the blocks.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tov::sim {

// Restores the blocks of one download from the host's compressed stream, block by block.
class LzssDecoder {
public:
    static constexpr size_t kRingSize = 4096;

    LzssDecoder() { reset(); }
    // Back to the start of a download: a ring of zeros, write position 0.
    void reset();

    // Decodes one block that must expand to exactly `length` bytes into `out`. A stream that
    // ends inside an item or short of the length, expands beyond it, carries bytes after it, or
    // sets flag bits of items that do not exist is corrupt: the result is false, `out` is
    // cleared and the history stays as it was before the block.
    bool decode(std::span<const uint8_t> stream, size_t length, std::vector<uint8_t>& out);

private:
    bool decodeItems(std::span<const uint8_t> stream, size_t length, std::vector<uint8_t>& out);
    void enter(uint8_t byte);

    std::array<uint8_t, kRingSize> ring_;
    uint16_t write_ = 0;
};

}  // namespace tov::sim
