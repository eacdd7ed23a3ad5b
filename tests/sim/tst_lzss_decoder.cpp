// The probe's decompressor against the host's compressor: real program images and random data
// across the blocks of one download, the overlapping match, and corrupt streams.
#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "files/lzss_encoder.h"
#include "sim/lzss_decoder.h"

namespace tov::sim {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr size_t kImageSize = 1 << 20;

// Up to 1 MiB of a real program from this machine: this test's own executable, or a bigger one
// when it is small.
Bytes programImage() {
    Bytes best;
    for (const char* path : {"/proc/self/exe", "/usr/bin/cmake", "/usr/bin/ninja"}) {
        std::ifstream in(path, std::ios::binary);
        Bytes data(kImageSize);
        in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size()));
        data.resize(static_cast<size_t>(in.gcount()));
        if (data.size() > best.size()) best = std::move(data);
        if (best.size() == kImageSize) break;
    }
    return best;
}

// One download's blocks through the host's encoder, each block checked after decoding.
void roundTrip(const Bytes& image, size_t blockSize, const std::string& what) {
    files::LzssEncoder encoder;
    LzssDecoder decoder;
    Bytes stream(files::LzssEncoder::maxEncodedSize(blockSize)), out;
    size_t compressed = 0;
    for (size_t at = 0; at < image.size(); at += blockSize) {
        const size_t n = std::min(blockSize, image.size() - at);
        const size_t length = encoder.encode(image.data() + at, n, stream.data());
        compressed += length;
        ASSERT_TRUE(decoder.decode(std::span(stream.data(), length), n, out))
            << what << ": block at " << at;
        ASSERT_TRUE(std::equal(out.begin(), out.end(), image.begin() + at) && out.size() == n)
            << what << ": block at " << at << " differs";
    }
    std::printf("%s: %zu bytes in %zu-byte blocks compressed to %zu\n", what.c_str(), image.size(),
                blockSize, compressed);
}

// Copies a match byte by byte, each source byte read after the ones before it were entered: the
// decoder that the format rules out.
Bytes decodeByteByByte(const Bytes& stream, size_t length) {
    Bytes ring(4096, 0), out;
    size_t write = 0, at = 0;
    auto enter = [&](uint8_t b) {
        out.push_back(b);
        ring[write] = b;
        write = (write + 1) % 4096;
    };
    while (out.size() < length && at < stream.size()) {
        const uint8_t flags = stream[at++];
        for (int item = 0; item < 8 && out.size() < length && at < stream.size(); ++item) {
            if ((flags >> item) & 1) {
                const size_t count = (stream[at] >> 4) + 2u;
                const size_t position = ((stream[at] & 0x0Fu) << 8) | stream[at + 1];
                at += 2;
                for (size_t k = 0; k < count; ++k) enter(ring[(position + k) % 4096]);
            } else {
                enter(stream[at++]);
            }
        }
    }
    return out;
}

TEST(LzssDecoder, RestoresEveryBlockOfRealAndRandomDataAcrossOneDownload) {
    const Bytes image = programImage();
    ASSERT_GE(image.size(), size_t{256 * 1024}) << "no program image of useful size found";
    roundTrip(image, 1024, "program image");
    // Blocks that are not a multiple of the eight items of a group, and a ring that wraps in
    // the middle of blocks.
    roundTrip(Bytes(image.begin(), image.begin() + 200000), 999, "program image, odd blocks");

    std::mt19937 rng(20240611);
    Bytes random(300000);
    for (uint8_t& b : random) b = static_cast<uint8_t>(rng());
    roundTrip(random, 1024, "random data");
    // Few byte values: long runs of short matches everywhere in the ring.
    for (uint8_t& b : random) b = static_cast<uint8_t>(rng() % 3);
    roundTrip(random, 1024, "three byte values");
    roundTrip(Bytes(50000, 0xFF), 1024, "constant data");
}

TEST(LzssDecoder, MatchesReadTheRingAsItStoodBeforeTheItem) {
    LzssDecoder decoder;
    Bytes out;
    // Twenty zeros: a literal, 17 bytes at position 0 from the ring's initial zeros, then 2 at
    // position 17.
    ASSERT_TRUE(decoder.decode(Bytes{0x06, 0x00, 0xF0, 0x00, 0x00, 0x11}, 20, out));
    EXPECT_EQ(out, Bytes(20, 0));

    // 1 2, then 1 2 and fifteen zeros: the match at position 0 runs over positions 2.. that still
    // hold the initial zeros when the item starts. Copied byte by byte, position 2 would already
    // hold the new 1 and the match would repeat 1 2.
    Bytes data{1, 2, 1, 2};
    data.resize(19, 0);
    files::LzssEncoder encoder;
    Bytes stream(files::LzssEncoder::maxEncodedSize(data.size()));
    stream.resize(encoder.encode(data.data(), data.size(), stream.data()));
    ASSERT_EQ(stream, (Bytes{0x04, 0x01, 0x02, 0xF0, 0x00}));
    ASSERT_NE(decodeByteByByte(stream, data.size()), data);
    LzssDecoder fresh;
    ASSERT_TRUE(fresh.decode(stream, data.size(), out));
    EXPECT_EQ(out, data);

    // The same rule for a match that reaches across the ring's end into its start.
    std::mt19937 rng(5);
    Bytes text(4096 + 300);
    for (uint8_t& b : text) b = static_cast<uint8_t>('a' + rng() % 4);
    roundTrip(text, 512, "wrapping text");
}

TEST(LzssDecoder, DetectsCorruptStreamsAndKeepsItsHistory) {
    const Bytes zeros{0x06, 0x00, 0xF0, 0x00, 0x00, 0x11};
    Bytes out{9};
    auto fails = [&](const Bytes& stream, size_t length) {
        LzssDecoder decoder;
        return !decoder.decode(stream, length, out) && out.empty();
    };
    // Truncated at every point, short of the length, or expanding beyond it.
    for (size_t cut = 0; cut < zeros.size(); ++cut) {
        EXPECT_TRUE(fails(Bytes(zeros.begin(), zeros.begin() + cut), 20)) << "cut at " << cut;
    }
    EXPECT_TRUE(fails(zeros, 21));
    EXPECT_TRUE(fails(zeros, 19));  // the last match would go beyond
    EXPECT_TRUE(fails(zeros, 18));  // complete after two items: bytes left over
    EXPECT_TRUE(fails(Bytes{}, 1));
    EXPECT_TRUE(fails(Bytes{0x00}, 0));
    // A byte after the end.
    Bytes trailing = zeros;
    trailing.push_back(0);
    EXPECT_TRUE(fails(trailing, 20));
    // Flipped flag bits: a literal read as a match runs out of stream, a match read as literals
    // falls short, a flag for an item the group does not have.
    EXPECT_TRUE(fails(Bytes{0x07, 0x00, 0xF0, 0x00, 0x00, 0x11}, 20));
    EXPECT_TRUE(fails(Bytes{0x04, 0x00, 0xF0, 0x00, 0x00, 0x11}, 20));
    EXPECT_TRUE(fails(Bytes{0x0E, 0x00, 0xF0, 0x00, 0x00, 0x11}, 20));
    EXPECT_TRUE(fails(Bytes{0x86, 0x00, 0xF0, 0x00, 0x00, 0x11}, 20));

    // A real block cut short or given a wrong length fails, and the history stays as it was:
    // the intact stream decodes afterwards, and so does the block after it.
    std::mt19937 rng(3);
    Bytes data(3072);
    for (uint8_t& b : data) b = static_cast<uint8_t>('A' + rng() % 8);
    files::LzssEncoder encoder;
    Bytes first(2000), second(2000);
    first.resize(encoder.encode(data.data(), 1024, first.data()));
    second.resize(encoder.encode(data.data() + 1024, 2048, second.data()));
    LzssDecoder decoder;
    EXPECT_FALSE(decoder.decode(std::span(first).first(first.size() - 1), 1024, out));
    EXPECT_FALSE(decoder.decode(first, 1023, out));
    EXPECT_FALSE(decoder.decode(first, 1025, out));
    ASSERT_TRUE(decoder.decode(first, 1024, out));
    EXPECT_TRUE(std::equal(out.begin(), out.end(), data.begin()));
    ASSERT_TRUE(decoder.decode(second, 2048, out));
    EXPECT_TRUE(std::equal(out.begin(), out.end(), data.begin() + 1024));
}

}  // namespace
}  // namespace tov::sim
