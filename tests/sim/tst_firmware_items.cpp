// Single-item memory accessors: values in the target's byte order on the shared target memory,
// the ROM that ignores writes, and the inaccessible range whose echoes fail the host's verify.
#include <gtest/gtest.h>

#include "sim/target_memory.h"
#include "tests/sim/firmware_chat.h"

namespace tov::sim {
namespace {

// Values are big-endian on the wire and lie in memory in the target's byte order.
class FirmwareItemsOrder : public testing::TestWithParam<bool> {};

TEST_P(FirmwareItemsOrder, WritesEchoWhatWasReadBackOnTheSharedMemory) {
    const bool big = GetParam();
    SimOptions options;
    options.bigEndian = big;
    FirmwareChat f(options);
    EXPECT_EQ(f.ask(Req(0x01).u32(0x1001).u8(0xAB)), (Bytes{0x41, 0xAB}));
    EXPECT_EQ(f.ask(Req(0x02).u32(0x1002).u16(0xBEEF)), (Bytes{0x42, 0xBE, 0xEF}));
    EXPECT_EQ(f.ask(Req(0x03).u32(0x1004).u32(0x01020304)), (Bytes{0x43, 1, 2, 3, 4}));
    EXPECT_EQ(f.ask(Req(0x05).u32(0x1001)), (Bytes{0x41, 0xAB}));
    EXPECT_EQ(f.ask(Req(0x06).u32(0x1002)), (Bytes{0x42, 0xBE, 0xEF}));
    EXPECT_EQ(f.ask(Req(0x07).u32(0x1004)), (Bytes{0x43, 1, 2, 3, 4}));
    // The same bytes through a memory piece, in the target's order, and the other way round.
    const uint8_t p = TargetMemory::patternByte(0x1000, big);
    EXPECT_EQ(f.ask(Req(0xB8).u32(0x1000).u16(0).u16(8)),
              big ? (Bytes{0xB8, 0, 0, p, 0xAB, 0xBE, 0xEF, 1, 2, 3, 4})
                  : (Bytes{0xB8, 0, 0, p, 0xAB, 0xEF, 0xBE, 4, 3, 2, 1}));
    // Untouched memory's pattern is a word in the target's order: a word read shows it whole.
    EXPECT_EQ(be32(f.ask(Req(0x07).u32(0x3000)), 1), 0x3000u ^ TargetMemory::kPatternKey);
    f.ask(Req(0xB9).u32(0x2000).u16(0).u16(4).raw({0xDE, 0xAD, 0xBE, 0xEF}));
    EXPECT_EQ(f.ask(Req(0x07).u32(0x2000)),
              big ? (Bytes{0x43, 0xDE, 0xAD, 0xBE, 0xEF}) : (Bytes{0x43, 0xEF, 0xBE, 0xAD, 0xDE}));
}

INSTANTIATE_TEST_SUITE_P(ByteOrders, FirmwareItemsOrder, testing::Bool());

TEST(FirmwareItems, RomIgnoresWritesSoTheEchoDiffers) {
    SimOptions options;
    options.bigEndian = true;  // the pattern's words read as they are stored
    FirmwareChat f(options);
    const uint32_t rom = TargetMemory::kRomFirst + 0x100;
    const uint32_t pattern = rom ^ 0xA5A5A5A5u;
    Bytes echo = f.ask(Req(0x03).u32(rom).u32(0x12345678));
    EXPECT_EQ(be32(echo, 1), pattern);
    echo = f.ask(Req(0x02).u32(TargetMemory::kRomLast - 1).u16(0));
    EXPECT_EQ(be16(echo, 1), uint16_t((TargetMemory::kRomLast - 3) ^ 0xA5A5A5A5u));
    // A memory piece into the ROM is accepted and changes nothing either.
    EXPECT_EQ(f.ask(Req(0xB9).u32(rom).u16(0).u16(1).u8(0)), statusBytes(0xB9, 0));
    EXPECT_EQ(be32(f.ask(Req(0x07).u32(rom)), 1), pattern);
    // Just below the ROM memory is writable.
    EXPECT_EQ(f.ask(Req(0x01).u32(TargetMemory::kRomFirst - 1).u8(0x42)), (Bytes{0x41, 0x42}));
}

TEST(FirmwareItems, InaccessibleAddressesAndMalformedRequests) {
    FirmwareChat f;  // 0xFFF00000.. is not accessible
    EXPECT_EQ(f.ask(Req(0x05).u32(0xFFF00000)), (Bytes{0x41, 0}));
    EXPECT_EQ(f.ask(Req(0x07).u32(0xFFFFFFFC)), (Bytes{0x43, 0, 0, 0, 0}));
    // Writes echo the complement, so even a written 0 fails the host's verify.
    EXPECT_EQ(f.ask(Req(0x01).u32(0xFFF00000).u8(0)), (Bytes{0x41, 0xFF}));
    EXPECT_EQ(f.ask(Req(0x03).u32(0xFFF00010).u32(0x0000FFFF)), (Bytes{0x43, 0xFF, 0xFF, 0, 0}));
    // A word straddling into the range is refused whole.
    EXPECT_EQ(f.ask(Req(0x02).u32(0xFFEFFFFF).u16(0x1234)), (Bytes{0x42, 0xED, 0xCB}));

    for (const Bytes& bad :
         {Bytes(Req(0x01).u32(0)), Bytes(Req(0x02).u32(0).u8(1)), Bytes(Req(0x03).u32(0).u16(1)),
          Bytes(Req(0x05).u16(0)), Bytes(Req(0x06).u32(0).u8(0)), Bytes{0x07}}) {
        EXPECT_EQ(f.ask(bad), Bytes{0x00});
    }
}

}  // namespace
}  // namespace tov::sim
