// Fuzzes the serial frame decoder: junk on the line never overruns the buffer, and every payload
// the encoder frames comes back out of the decoder unchanged.
#include <cstring>
#include <vector>

#include "fuzz/support/check.h"
#include "link/frame_codec.h"

using tov::link::FrameDecoder;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // The first byte picks a small buffer now and then, so that overflow is reached as well.
    const size_t capacity = data[0] < 32 ? data[0] : tov::link::kMaxPayload;
    std::vector<uint8_t> buffer(capacity);
    FrameDecoder decoder;
    decoder.start(buffer);
    for (size_t i = 1; i < size; ++i) {
        const auto status = decoder.feed(data[i]);
        FUZZ_CHECK(decoder.size() <= capacity);
        if (status != FrameDecoder::Status::NeedMore) decoder.start(buffer);
    }

    const size_t length = std::min(size - 1, tov::link::kMaxPayload);
    std::vector<uint8_t> line(tov::link::encodedFrameCapacity(length));
    const size_t lineLength = tov::link::encodeFrame({data + 1, length}, line.data());
    FUZZ_CHECK(lineLength <= line.size());
    std::vector<uint8_t> payload(tov::link::kMaxPayload);
    decoder.start(payload);
    FrameDecoder::Status status = FrameDecoder::Status::NeedMore;
    for (size_t i = 0; i < lineLength; ++i) {
        status = decoder.feed(line[i]);
        FUZZ_CHECK(i + 1 == lineLength || status == FrameDecoder::Status::NeedMore);
    }
    FUZZ_CHECK(status == FrameDecoder::Status::Complete);
    FUZZ_CHECK(decoder.size() == length);
    FUZZ_CHECK(std::memcmp(payload.data(), data + 1, length) == 0);
    return 0;
}
