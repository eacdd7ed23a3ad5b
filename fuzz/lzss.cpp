// Fuzzes the download compression: every block the host's encoder makes is restored exactly by
// the probe's decoder with the history carried across blocks, and a decoder fed junk reports a
// corrupt block instead of reading or writing out of bounds.
#include <algorithm>
#include <cstring>
#include <vector>

#include "files/lzss_encoder.h"
#include "fuzz/support/check.h"
#include "sim/lzss_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    // Junk: the input after the first two bytes as one compressed block of the length they say.
    {
        tov::sim::LzssDecoder decoder;
        std::vector<uint8_t> out;
        const size_t length = (size_t{data[0]} << 8 | data[1]) & 0x1FFF;
        if (decoder.decode({data + 2, size - 2}, length, out)) {
            FUZZ_CHECK(out.size() == length);
        } else {
            FUZZ_CHECK(out.empty());
        }
    }
    // Round trip: the input cut into blocks whose sizes the first byte varies.
    tov::files::LzssEncoder encoder;
    tov::sim::LzssDecoder decoder;
    const size_t blockSize = 1 + data[0] * 8;
    std::vector<uint8_t> packed;
    std::vector<uint8_t> restored;
    for (size_t at = 1; at < size;) {
        const size_t n = std::min(blockSize, size - at);
        packed.resize(tov::files::LzssEncoder::maxEncodedSize(n));
        const size_t packedLength = encoder.encode(data + at, n, packed.data());
        FUZZ_CHECK(packedLength <= packed.size());
        FUZZ_CHECK(decoder.decode({packed.data(), packedLength}, n, restored));
        FUZZ_CHECK(restored.size() == n && std::memcmp(restored.data(), data + at, n) == 0);
        at += n;
    }
    return 0;
}
