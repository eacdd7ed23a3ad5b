// LZSS decompression over the history ring, with the checks that keep a corrupt block out.
#include "sim/lzss_decoder.h"

namespace tov::sim {
namespace {

constexpr size_t kMinMatch = 2;
constexpr size_t kItemsPerGroup = 8;

}  // namespace

void LzssDecoder::reset() {
    ring_.fill(0);
    write_ = 0;
}

void LzssDecoder::enter(uint8_t byte) {
    ring_[write_] = byte;
    write_ = static_cast<uint16_t>((write_ + 1) & (kRingSize - 1));
}

bool LzssDecoder::decode(std::span<const uint8_t> stream, size_t length,
                         std::vector<uint8_t>& out) {
    // A corrupt block must not leave half of itself in the history.
    const std::array<uint8_t, kRingSize> ring = ring_;
    const uint16_t write = write_;
    out.clear();
    out.reserve(length);
    if (decodeItems(stream, length, out)) return true;
    ring_ = ring;
    write_ = write;
    out.clear();
    return false;
}

bool LzssDecoder::decodeItems(std::span<const uint8_t> stream, size_t length,
                              std::vector<uint8_t>& out) {
    size_t at = 0;
    while (out.size() < length) {
        if (at >= stream.size()) return false;  // ends before the length is reached
        const uint8_t flags = stream[at++];
        size_t item = 0;
        for (; item < kItemsPerGroup && out.size() < length; ++item) {
            if ((flags >> item) & 1) {
                if (at + 2 > stream.size()) return false;  // ends inside a match
                const size_t count = (stream[at] >> 4) + kMinMatch;
                const size_t position = ((stream[at] & size_t{0x0F}) << 8) | stream[at + 1];
                at += 2;
                if (out.size() + count > length) return false;  // expands beyond the length
                // The encoder compared against the ring as it stood before this item, so every
                // source byte is read before any of them is entered: where source and
                // destination overlap, a byte-by-byte copy would repeat the new bytes instead.
                uint8_t source[16 + kMinMatch];
                for (size_t k = 0; k < count; ++k) source[k] = ring_[(position + k) % kRingSize];
                for (size_t k = 0; k < count; ++k) {
                    out.push_back(source[k]);
                    enter(source[k]);
                }
            } else {
                if (at >= stream.size()) return false;  // ends where a literal was due
                out.push_back(stream[at]);
                enter(stream[at++]);
            }
        }
        // The encoder leaves the bits of items a group does not have at 0.
        if (item < kItemsPerGroup && (flags >> item) != 0) return false;
    }
    return at == stream.size();
}

}  // namespace tov::sim
