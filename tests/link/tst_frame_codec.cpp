// Frame encoding on the line and the receive state machine, byte for byte.
#include <gtest/gtest.h>

#include <random>

#include "link/frame_codec.h"
#include "tests/support/scripted_line.h"

namespace tov::test {
namespace {

using link::FrameDecoder;

Bytes encode(const Bytes& payload) {
    Bytes out(link::encodedFrameCapacity(payload.size()));
    out.resize(link::encodeFrame(payload, out.data()));
    return out;
}

struct Fed {
    FrameDecoder::Status status;
    Bytes payload;
    size_t consumed;
};

Fed feedAll(const Bytes& line, size_t capacity = 1500) {
    Bytes buffer(capacity);
    FrameDecoder decoder;
    decoder.start(buffer);
    for (size_t i = 0; i < line.size(); ++i) {
        FrameDecoder::Status s = decoder.feed(line[i]);
        if (s != FrameDecoder::Status::NeedMore) {
            buffer.resize(decoder.size());
            return {s, buffer, i + 1};
        }
    }
    return {FrameDecoder::Status::NeedMore, {}, line.size()};
}

TEST(FrameCodec, EncodesTheKnownFramesExactly) {
    EXPECT_EQ(encode(hexBytes("00 01 01")), hexBytes("10 02 00 01 01 10 03 00"));
    // First start-target frame after open: header 0x10 is doubled on the line.
    EXPECT_EQ(encode(hexBytes("10 01 BA")), hexBytes("10 02 10 10 01 BA 10 03 AB"));
    EXPECT_EQ(encode(hexBytes("50 01 BA")), hexBytes("10 02 50 01 BA 10 03 EB"));
    EXPECT_EQ(encode(hexBytes("50 01 C1")), hexBytes("10 02 50 01 C1 10 03 90"));
    // A BCC of 0x10 is doubled too; the BCC covers the bytes before doubling.
    EXPECT_EQ(encode(hexBytes("10 01 01")), hexBytes("10 02 10 10 01 01 10 03 10 10"));
    EXPECT_EQ(encode(hexBytes("10 10 10")), hexBytes("10 02 10 10 10 10 10 10 10 03 10 10"));
}

TEST(FrameCodec, WorstCaseFitsTheCapacity) {
    Bytes payload(1500, 0x10);
    Bytes out = encode(payload);
    EXPECT_EQ(out.size(), link::encodedFrameCapacity(1500) - 1);  // the BCC of an even count is 0
    EXPECT_EQ(feedAll(out).payload, payload);
}

TEST(FrameCodec, DecoderSkipsGarbageAndLoneDleBeforeTheFrame) {
    Bytes line = hexBytes("FF 03 10 05 02 10 10 02 10 02 50 01 BA 10 03 EB");
    // "10 05" is consumed as a pair; "10 10" consumes the second DLE, so its following 02 is
    // plain garbage; the frame starts at the final "10 02".
    Fed fed = feedAll(line);
    EXPECT_EQ(fed.status, FrameDecoder::Status::Complete);
    EXPECT_EQ(fed.payload, hexBytes("50 01 BA"));
    EXPECT_EQ(fed.consumed, line.size());
}

TEST(FrameCodec, DecoderReportsDamage) {
    EXPECT_EQ(feedAll(hexBytes("10 02 50 10 05 BA 10 03 EB")).status,
              FrameDecoder::Status::FormatError);
    EXPECT_EQ(feedAll(hexBytes("10 02 50 01 BA 10 03 EC")).status, FrameDecoder::Status::BccError);
    // A BCC byte DLE must be followed by DLE.
    EXPECT_EQ(feedAll(hexBytes("10 02 10 10 01 01 10 03 10 03")).status,
              FrameDecoder::Status::FormatError);
    // One data byte more than the capacity overflows, exactly the capacity does not.
    EXPECT_EQ(feedAll(encode(Bytes(4, 0x20)), 3).status, FrameDecoder::Status::Overflow);
    EXPECT_EQ(feedAll(encode(Bytes(3, 0x20)), 3).status, FrameDecoder::Status::Complete);
}

TEST(FrameCodec, RoundTripsRandomPayloadsRichInDle) {
    std::mt19937 rng(7);
    for (int round = 0; round < 200; ++round) {
        Bytes payload(1 + rng() % 1500);
        for (uint8_t& b : payload) b = (rng() % 4 == 0) ? 0x10 : static_cast<uint8_t>(rng());
        Fed fed = feedAll(encode(payload));
        ASSERT_EQ(fed.status, FrameDecoder::Status::Complete);
        ASSERT_EQ(fed.payload, payload);
    }
}

}  // namespace
}  // namespace tov::test
