// The probe's download state machine: its start answer, cumulative acknowledgements, blocks
// sent again or ahead of their turn, failures that stop a download, and verify mode.
#include <gtest/gtest.h>

#include <random>

#include "files/lzss_encoder.h"
#include "sim/target_memory.h"
#include "tests/sim/firmware_chat.h"

namespace tov::sim {
namespace {

constexpr uint32_t kUnmapped = 0xFFF00000;  // first address of the default inaccessible range

Bytes block(uint32_t sequence, uint32_t address, const Bytes& data, bool compressed = false,
            uint16_t length = 0) {
    return Req(0x29)
        .u8(compressed ? 1 : 0)
        .u32(sequence)
        .u32(address)
        .u16(compressed ? length : static_cast<uint16_t>(data.size()))
        .raw(data);
}

Bytes ack(uint8_t status, uint32_t count, uint32_t detail = 0) {
    return Req(0x29).u8(status).u32(count).u32(detail);
}

Bytes pattern(size_t n, uint8_t seed) {
    Bytes data(n);
    for (size_t i = 0; i < n; ++i) data[i] = static_cast<uint8_t>(seed + i * 7);
    return data;
}

Bytes memoryAt(FirmwareChat& f, uint32_t address, size_t n) {
    Bytes out(n);
    f.probe.memory().read(address, out);
    return out;
}

TEST(FirmwareDownload, StartAnnouncesTheConfiguredLimits) {
    FirmwareChat f;
    EXPECT_EQ(f.ask(Req(0x28).u8(0)), (Bytes{0x28, 3, 0x04, 0x00, 0x00, 100}));
    f.probe.download().settings = {5, 4096, 250};
    EXPECT_EQ(f.ask(Req(0x28).u8(7)), (Bytes{0x28, 5, 0x10, 0x00, 0x00, 250}));
    EXPECT_EQ(f.ask(Req(0x28)), Bytes{0x00});  // no mode byte
    // A block before any start is refused, not taken.
    FirmwareChat fresh;
    Bytes answer = fresh.ask(block(0, 0x1000, pattern(8, 1)));
    EXPECT_EQ(answer.size(), 10u);
    EXPECT_NE(answer.at(1), 0);
    EXPECT_NE(memoryAt(fresh, 0x1000, 8), pattern(8, 1));
}

TEST(FirmwareDownload, AcknowledgesCumulativelyAndCountsEveryBlockOnce) {
    FirmwareChat f;
    f.ask(Req(0x28).u8(0));
    EXPECT_EQ(f.ask(block(0, 0x10000, pattern(1024, 1))), ack(0, 1));
    EXPECT_EQ(f.ask(block(1, 0x10400, pattern(1024, 2))), ack(0, 2));
    EXPECT_EQ(f.ask(block(2, 0x10800, pattern(452, 3))), ack(0, 3));
    EXPECT_EQ(memoryAt(f, 0x10400, 1024), pattern(1024, 2));
    EXPECT_EQ(memoryAt(f, 0x10800, 452), pattern(452, 3));

    // Block 1 again (its acknowledgement was lost), with other data: acknowledged with the
    // current count, not written again.
    EXPECT_EQ(f.ask(block(1, 0x10400, pattern(1024, 99))), ack(0, 3));
    EXPECT_EQ(memoryAt(f, 0x10400, 1024), pattern(1024, 2));

    // Block 4 while block 3 is due (3 was lost): no answer, nothing written.
    EXPECT_EQ(f.ask(block(4, 0x20000, pattern(16, 4))), Bytes{});
    EXPECT_NE(memoryAt(f, 0x20000, 16), pattern(16, 4));
    // The host sends again from its acknowledged count.
    EXPECT_EQ(f.ask(block(3, 0x1FF00, pattern(16, 5))), ack(0, 4));
    EXPECT_EQ(f.ask(block(4, 0x20000, pattern(16, 4))), ack(0, 5));
    EXPECT_EQ(memoryAt(f, 0x20000, 16), pattern(16, 4));
    EXPECT_EQ(f.probe.download().count(), 5u);

    // A new download counts from 0 again.
    f.ask(Req(0x28).u8(0));
    EXPECT_EQ(f.ask(block(0, 0x30000, pattern(4, 6))), ack(0, 1));
}

TEST(FirmwareDownload, CompressedBlocksSentAgainDoNotDisturbTheHistory) {
    FirmwareChat f;
    f.ask(Req(0x28).u8(0));
    std::mt19937 rng(9);
    Bytes image(4 * 1024);
    for (uint8_t& b : image) b = static_cast<uint8_t>('0' + rng() % 10);
    files::LzssEncoder encoder;
    std::vector<Bytes> frames;
    for (uint32_t n = 0; n < 4; ++n) {
        Bytes stream(files::LzssEncoder::maxEncodedSize(1024));
        stream.resize(encoder.encode(image.data() + 1024 * n, 1024, stream.data()));
        frames.push_back(block(n, 0x40000 + 1024 * n, stream, true, 1024));
    }
    EXPECT_EQ(f.ask(frames[0]), ack(0, 1));
    EXPECT_EQ(f.ask(frames[1]), ack(0, 2));
    EXPECT_EQ(f.ask(frames[3]), Bytes{});  // ahead: not decoded either
    EXPECT_EQ(f.ask(frames[1]), ack(0, 2));
    EXPECT_EQ(f.ask(frames[0]), ack(0, 2));
    EXPECT_EQ(f.ask(frames[2]), ack(0, 3));
    EXPECT_EQ(f.ask(frames[3]), ack(0, 4));
    EXPECT_EQ(memoryAt(f, 0x40000, image.size()), image);
}

TEST(FirmwareDownload, AFailedBlockStopsTheDownloadUntilTheNextStart) {
    FirmwareChat f;
    f.ask(Req(0x28).u8(0));
    EXPECT_EQ(f.ask(block(0, 0x50000, pattern(64, 1))), ack(0, 1));
    // 32 bytes of which the last 16 are not accessible: nothing written, the first
    // inaccessible address reported.
    const Bytes failed = f.ask(block(1, kUnmapped - 16, pattern(32, 2)));
    ASSERT_EQ(failed.size(), 10u);
    EXPECT_NE(failed[1], 0);
    EXPECT_EQ(be32(failed, 2), 1u);
    EXPECT_EQ(be32(failed, 6), kUnmapped);
    EXPECT_NE(memoryAt(f, kUnmapped - 16, 16), pattern(16, 2));
    EXPECT_TRUE(f.probe.download().failed());

    // Later blocks are neither applied nor answered; the failed block sent again (its answer
    // lost) gets the same failed answer.
    EXPECT_EQ(f.ask(block(2, 0x51000, pattern(16, 3))), Bytes{});
    EXPECT_EQ(f.ask(block(0, 0x50000, pattern(64, 1))), Bytes{});
    EXPECT_NE(memoryAt(f, 0x51000, 16), pattern(16, 3));
    EXPECT_EQ(f.ask(block(1, kUnmapped - 16, pattern(32, 2))), failed);

    f.ask(Req(0x28).u8(0));
    EXPECT_EQ(f.ask(block(0, 0x51000, pattern(16, 3))), ack(0, 1));
    EXPECT_EQ(memoryAt(f, 0x51000, 16), pattern(16, 3));

    // Read-only memory takes the bytes but keeps its contents: the first byte that does not read
    // back as sent fails the block.
    Bytes rom = memoryAt(f, TargetMemory::kRomFirst, 8);
    rom[5] ^= 0xFF;
    const Bytes romAnswer = f.ask(block(1, TargetMemory::kRomFirst, rom));
    EXPECT_NE(romAnswer.at(1), 0);
    EXPECT_EQ(be32(romAnswer, 6), TargetMemory::kRomFirst + 5);

    // A corrupt compressed stream fails with the block's address and writes nothing.
    f.ask(Req(0x28).u8(0));
    const Bytes corrupt = f.ask(block(0, 0x52000, Bytes{0x06, 0x00, 0xF0, 0x00, 0x00}, true, 20));
    EXPECT_NE(corrupt.at(1), 0);
    EXPECT_EQ(be32(corrupt, 2), 0u);
    EXPECT_EQ(be32(corrupt, 6), 0x52000u);
    EXPECT_NE(memoryAt(f, 0x52000, 20), Bytes(20, 0));

    // So does a raw block whose data is not as long as it says, and one beyond the block size
    // the probe announced.
    f.ask(Req(0x28).u8(0));
    Bytes shortBlock = block(0, 0x53000, pattern(16, 1));
    shortBlock.pop_back();
    EXPECT_EQ(be32(f.ask(shortBlock), 6), 0x53000u);
    f.ask(Req(0x28).u8(0));
    EXPECT_EQ(be32(f.ask(block(0, 0x53000, pattern(1025, 1))), 6), 0x53000u);
}

TEST(FirmwareDownload, VerifyModeComparesInsteadOfWriting) {
    FirmwareChat f;
    const Bytes data = pattern(300, 4);
    f.probe.memory().write(0x60000, data);
    EXPECT_EQ(f.ask(Req(0x8D).u8(1).u8(0).u32(0).u32(0).u32(0)), (Bytes{0x8D, 0}));
    f.ask(Req(0x28).u8(0));
    EXPECT_EQ(f.ask(block(0, 0x60000, data)), ack(0, 1));
    Bytes changed = data;
    changed[37] ^= 1;
    changed[200] ^= 1;
    const Bytes answer = f.ask(block(1, 0x60000, changed));
    EXPECT_NE(answer.at(1), 0);
    EXPECT_EQ(be32(answer, 2), 1u);
    EXPECT_EQ(be32(answer, 6), 0x60000u + 37);
    EXPECT_EQ(memoryAt(f, 0x60000, 300), data);  // compared, not written
    // Untouched memory is compared as the pattern it reads as; inaccessible memory never
    // matches.
    f.ask(Req(0x28).u8(0));
    EXPECT_EQ(f.ask(block(0, 0x70000, memoryAt(f, 0x70000, 64))), ack(0, 1));
    Bytes edge = memoryAt(f, kUnmapped - 4, 4);
    edge.resize(8, 0);
    EXPECT_EQ(be32(f.ask(block(1, kUnmapped - 4, edge)), 6), kUnmapped);
}

TEST(FirmwareDownload, RandomRequestsGetAnswersOfTheirShape) {
    const uint8_t codes[] = {0x28, 0x29, 0x29, 0x29, 0x8D, 0x85};
    const size_t sizes[] = {6, 10, 10, 10, 2, 6};
    std::mt19937 rng(77);
    FirmwareChat f;
    for (int round = 0; round < 20000; ++round) {
        const size_t which = rng() % std::size(codes);
        Bytes request{codes[which]};
        const size_t length = rng() % 8 == 0 ? rng() % 1400 : rng() % 40;
        for (size_t i = 1; i < length; ++i) request.push_back(static_cast<uint8_t>(rng()));
        // Small sequence numbers and lengths now and then, so blocks get past the first checks.
        if (request.size() > 12 && rng() % 2) {
            request[2] = request[3] = request[4] = 0;
            request[5] = static_cast<uint8_t>(rng() % 4);
            request[10] = 0;
        }
        if (codes[which] == 0x8D && request.size() > 1 && rng() % 2) request[1] = rng() % 2;
        const Bytes answer = f.ask(request);
        if (answer.empty()) {
            ASSERT_EQ(request[0], 0x29);
            continue;
        }
        if (answer == Bytes{0x00}) {
            ASSERT_EQ(request[0], 0x28);
            continue;
        }
        ASSERT_EQ(answer[0], request[0]);
        ASSERT_EQ(answer.size(), sizes[which]) << "request " << int(request[0]);
    }
    // Still a working download afterwards.
    f.ask(Req(0x8D).u8(0).u8(0).u32(0).u32(0).u32(0));
    f.ask(Req(0x28).u8(0));
    EXPECT_EQ(f.ask(block(0, 0x90000, pattern(32, 8))), ack(0, 1));
    EXPECT_EQ(memoryAt(f, 0x90000, 32), pattern(32, 8));
}

}  // namespace
}  // namespace tov::sim
