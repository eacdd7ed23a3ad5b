// LZSS compression with a per-byte-value index of ring positions, newest first.
#include "files/lzss_encoder.h"

#include <cstring>

namespace tov::files {

void LzssEncoder::reset() {
    std::memset(ring_, 0, sizeof ring_);
    std::memset(indexed_, 0, sizeof indexed_);
    for (uint16_t& h : head_) h = kNone;
    write_ = 0;
}

void LzssEncoder::enter(uint8_t byte) {
    const uint16_t p = write_;
    if (indexed_[p]) {
        // The position leaves the index of the value it held.
        uint8_t old = ring_[p];
        if (prev_[p] == kNone) {
            head_[old] = next_[p];
        } else {
            next_[prev_[p]] = next_[p];
        }
        if (next_[p] != kNone) prev_[next_[p]] = prev_[p];
    }
    ring_[p] = byte;
    indexed_[p] = true;
    prev_[p] = kNone;
    next_[p] = head_[byte];
    if (head_[byte] != kNone) prev_[head_[byte]] = p;
    head_[byte] = p;
    write_ = static_cast<uint16_t>((p + 1) & (kRingSize - 1));
}

// How many bytes of data equal the ring from `position` on (wrapping), up to max.
size_t LzssEncoder::matchLength(size_t position, const uint8_t* data, size_t max) const {
    size_t n = 0;
    if (position + max <= kRingSize) {
        const uint8_t* r = ring_ + position;
        while (n < max && r[n] == data[n]) ++n;
        return n;
    }
    while (n < max && ring_[(position + n) & (kRingSize - 1)] == data[n]) ++n;
    return n;
}

size_t LzssEncoder::encode(const uint8_t* in, size_t n, uint8_t* out) {
    size_t o = 0;
    size_t flagAt = o++;
    uint8_t flags = 0;
    int items = 0;
    size_t i = 0;
    while (i < n) {
        const size_t left = n - i;
        const size_t max = left < kMaxMatch ? left : kMaxMatch;
        size_t best = 1;
        uint16_t bestPosition = 0;
        if (max > 1) {
            for (uint16_t p = head_[in[i]]; p != kNone; p = next_[p]) {
                // Only a strictly longer match replaces the best, so a candidate that differs
                // at the best length's byte can be passed over without a full comparison.
                if (ring_[(p + best) & (kRingSize - 1)] != in[i + best]) continue;
                size_t length = matchLength(p, in + i, max);
                if (length > best) {
                    best = length;
                    bestPosition = p;
                    if (best == max) break;
                }
            }
        }
        if (best >= 2) {
            flags |= static_cast<uint8_t>(1u << items);
            out[o++] = static_cast<uint8_t>(((best - 2) << 4) | (bestPosition >> 8));
            out[o++] = static_cast<uint8_t>(bestPosition & 0xFF);
        } else {
            out[o++] = in[i];
        }
        for (size_t k = 0; k < best; ++k) enter(in[i + k]);
        i += best;
        if (++items == 8) {
            out[flagAt] = flags;
            flags = 0;
            items = 0;
            flagAt = o++;
        }
    }
    // A last group without items has no flag byte.
    if (items == 0) return o - 1;
    out[flagAt] = flags;
    return o;
}

}  // namespace tov::files
