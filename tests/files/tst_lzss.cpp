// The LZSS encoder: the known output for zeros, and byte-for-byte agreement with a plain
// rendering of the algorithm on many kinds of data, across blocks of one download.
#include <gtest/gtest.h>

#include <list>
#include <random>
#include <vector>

#include "files/lzss_encoder.h"

namespace tov::test {
namespace {

using Bytes = std::vector<uint8_t>;

// The algorithm as plainly as it can be written: lists of positions per byte value, newest
// first, every candidate compared in full.
class PlainEncoder {
public:
    PlainEncoder() : ring_(4096, 0), index_(256) {}

    Bytes encode(const Bytes& in) {
        Bytes out;
        size_t flagAt = 0;
        int items = 0;
        for (size_t i = 0; i < in.size();) {
            if (items == 0) {
                flagAt = out.size();
                out.push_back(0);
            }
            size_t max = std::min<size_t>(17, in.size() - i);
            size_t best = 1, bestPos = 0;
            if (max > 1) {
                for (size_t p : index_[in[i]]) {
                    size_t n = 0;
                    while (n < max && ring_[(p + n) % 4096] == in[i + n]) ++n;
                    if (n > best) {
                        best = n;
                        bestPos = p;
                    }
                    if (best == max) break;
                }
            }
            if (best >= 2) {
                out[flagAt] |= static_cast<uint8_t>(1 << items);
                out.push_back(static_cast<uint8_t>(((best - 2) << 4) | (bestPos >> 8)));
                out.push_back(static_cast<uint8_t>(bestPos & 0xFF));
            } else {
                out.push_back(in[i]);
            }
            for (size_t k = 0; k < best; ++k) {
                if (indexed_[write_]) index_[ring_[write_]].remove(write_);
                ring_[write_] = in[i + k];
                indexed_[write_] = true;
                index_[in[i + k]].push_front(write_);
                write_ = (write_ + 1) % 4096;
            }
            i += best;
            items = (items + 1) % 8;
        }
        return out;
    }

private:
    Bytes ring_;
    std::vector<std::list<size_t>> index_;
    std::vector<bool> indexed_ = std::vector<bool>(4096, false);
    size_t write_ = 0;
};

Bytes encode(files::LzssEncoder& encoder, const Bytes& in) {
    Bytes out(files::LzssEncoder::maxEncodedSize(in.size()));
    out.resize(encoder.encode(in.data(), in.size(), out.data()));
    return out;
}

TEST(Lzss, TwentyZerosAtTheStart) {
    files::LzssEncoder encoder;
    EXPECT_EQ(encode(encoder, Bytes(20, 0)), (Bytes{0x06, 0x00, 0xF0, 0x00, 0x00, 0x11}));
    // Eight items fill a group exactly: no empty flag byte follows.
    encoder.reset();
    Bytes eight = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(encode(encoder, eight), (Bytes{0x00, 1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST(Lzss, AgreesWithThePlainAlgorithmAcrossBlocks) {
    std::mt19937 rng(3);
    auto make = [&](int kind, size_t n) {
        Bytes b(n);
        for (size_t i = 0; i < n; ++i) {
            switch (kind) {
                case 0: b[i] = static_cast<uint8_t>(rng()); break;                 // random
                case 1: b[i] = 0; break;                                           // zeros
                case 2: b[i] = static_cast<uint8_t>("movw r0, #0x10\n"[i % 15]); break;  // text
                default: b[i] = static_cast<uint8_t>(rng() % 4 == 0 ? rng() : i / 64);    // code-ish
            }
        }
        return b;
    };
    for (int kind = 0; kind < 4; ++kind) {
        files::LzssEncoder fast;
        PlainEncoder plain;
        // Enough blocks to wrap the 4096-byte ring several times.
        for (int block = 0; block < 24; ++block) {
            Bytes data = make(kind, 1 + rng() % 1024);
            Bytes expected = plain.encode(data);
            ASSERT_EQ(encode(fast, data), expected) << "kind " << kind << " block " << block;
            ASSERT_LE(expected.size(), files::LzssEncoder::maxEncodedSize(data.size()));
        }
    }
}

}  // namespace
}  // namespace tov::test
