// The LZSS compressor of download blocks: a 4096-byte history ring with absolute positions,
// match lengths 2..17, groups of eight items behind a flag byte.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tov::files {

// The history persists from block to block within one download. The output format, including
// which of several equally long matches is chosen, is what the probe's decompressor expects, so
// every optimisation here must leave the output unchanged.
class LzssEncoder {
public:
    static constexpr size_t kRingSize = 4096;
    static constexpr size_t kMaxMatch = 17;

    LzssEncoder() { reset(); }
    // Back to the start of a download: a ring of zeros, nothing indexed, write position 0.
    void reset();
    // Compresses n bytes into out, which must hold maxEncodedSize(n) bytes; returns the length.
    size_t encode(const uint8_t* in, size_t n, uint8_t* out);

    static constexpr size_t maxEncodedSize(size_t n) { return n + (n + 7) / 8; }

private:
    static constexpr uint16_t kNone = 0xFFFF;

    void enter(uint8_t byte);
    size_t matchLength(size_t position, const uint8_t* data, size_t max) const;

    uint8_t ring_[kRingSize];
    // Per byte value, the ring positions holding it, newest first, as a doubly linked list.
    uint16_t head_[256];
    uint16_t next_[kRingSize];
    uint16_t prev_[kRingSize];
    bool indexed_[kRingSize];
    uint16_t write_ = 0;
};

}  // namespace tov::files
