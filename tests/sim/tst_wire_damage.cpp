// Deliberately damaged answers must fail the receiver's checks in the intended way.
#include <gtest/gtest.h>

#include <vector>

#include "link/frame_codec.h"
#include "sim/wire_damage.h"

namespace tov::sim {
namespace {

using Bytes = std::vector<uint8_t>;
using Status = link::FrameDecoder::Status;

Status decode(const Bytes& wire, Bytes* payload = nullptr) {
    uint8_t buffer[link::kMaxPayload];
    link::FrameDecoder decoder;
    decoder.start(buffer);
    for (uint8_t b : wire) {
        Status s = decoder.feed(b);
        if (s == Status::Complete && payload) payload->assign(buffer, buffer + decoder.size());
        if (s != Status::NeedMore) return s;
    }
    return Status::NeedMore;
}

// Payloads whose encoding has doubled DLEs in the data and in the check byte.
const Bytes kPayloads[] = {
    {0x00, 0x01, 0x01},
    {0x10, 0x01, 0xBA},
    {0x10, 0x02, 0x10, 0x00},  // check byte 0x10
    {0x50, 0x03, 0xB8, 0x10, 0x10},
};

TEST(WireDamage, EachDamageFailsTheCheckItIsMeantFor) {
    for (const Bytes& payload : kPayloads) {
        Bytes decoded;
        ASSERT_EQ(decode(encodeWire(payload), &decoded), Status::Complete);
        EXPECT_EQ(decoded, payload);

        Bytes bcc = encodeWire(payload);
        breakCheckByte(bcc);
        EXPECT_EQ(decode(bcc), Status::BccError);

        Bytes format = encodeWire(payload);
        insertFormatError(format);
        EXPECT_EQ(decode(format), Status::FormatError);

        EXPECT_EQ(decode(encodeWire(overflowPayload(payload))), Status::Overflow);
    }
    EXPECT_EQ(encodeWire(eventPayload(0x40)),
              (Bytes{0x10, 0x02, 0x08, 0x01, 0x40, 0x10, 0x03, 0x49}));
}

TEST(WireDamage, OverflowKeepsTheAnswerHeadAndAConsistentLengthField) {
    const Bytes payload{0x90, 0x01, 0x71};
    const Bytes big = overflowPayload(payload);
    ASSERT_GT(big.size(), link::kMaxPayload);
    EXPECT_EQ(big[0] & 0xF8, 0x90);
    EXPECT_EQ(((big[0] & 7u) << 8 | big[1]) + 2u, big.size());
    EXPECT_EQ(big[2], 0x71);
}

TEST(WireDamage, NoSingleBitFlipPassesAsTheOriginalFrame) {
    for (const Bytes& payload : kPayloads) {
        const Bytes wire = encodeWire(payload);
        for (size_t at = 0; at < wire.size(); ++at) {
            for (uint8_t bit = 0; bit < 8; ++bit) {
                Bytes damaged = wire;
                flipBit(damaged, at, bit);
                Bytes decoded;
                if (decode(damaged, &decoded) == Status::Complete) {
                    EXPECT_NE(decoded, payload) << "byte " << at << " bit " << int(bit);
                }
            }
        }
    }
}

}  // namespace
}  // namespace tov::sim
