// The download protocol on scripted links: start answer limits, block frames, the window,
// resends, failed acknowledgements, and compression on a serial line only.
#include <gtest/gtest.h>

#include "files/download.h"
#include "link/error_codes.h"
#include "tests/support/scripted_transport.h"

namespace tov::test {
namespace {

uint32_t be32(const Bytes& b, size_t at) {
    return (uint32_t{b[at]} << 24) | (uint32_t{b[at + 1]} << 16) | (uint32_t{b[at + 2]} << 8) |
           b[at + 3];
}

Bytes ack(uint32_t count, uint8_t status = 0, uint32_t detail = 0) {
    return {0x29, status,
            static_cast<uint8_t>(count >> 24), static_cast<uint8_t>(count >> 16),
            static_cast<uint8_t>(count >> 8), static_cast<uint8_t>(count),
            static_cast<uint8_t>(detail >> 24), static_cast<uint8_t>(detail >> 16),
            static_cast<uint8_t>(detail >> 8), static_cast<uint8_t>(detail)};
}

// A probe on the network that announces window 5 and blocks of 4096 and acknowledges blocks
// as `acknowledge` says.
struct NetProbe {
    std::function<std::vector<Bytes>(uint32_t sequence)> acknowledge = [](uint32_t s) {
        return std::vector<Bytes>{ack(s + 1)};
    };
    std::vector<Bytes> blocks;
    ScriptedLink link{[this](const Bytes& m) -> std::vector<Bytes> {
        if (m[0] == 0x28) return {{0x28, 5, 0x10, 0x00, 0x01, 0xF4}};
        blocks.push_back(m);
        return acknowledge(be32(m, 2));
    }};
};

TEST(Download, ProbeLimitsAreCutAndBlocksSplit) {
    NetProbe probe;
    files::Download download(probe.link.link);
    ASSERT_EQ(download.init(0, true), 0);
    EXPECT_EQ(probe.link.sent[0].message, hexBytes("28 00"));
    EXPECT_EQ(probe.link.sent[0].extraTimeout, 10);
    Bytes data(2500);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
    ASSERT_EQ(download.send(0x20000, 2500, data.data()), 0);
    ASSERT_EQ(probe.blocks.size(), 3u);
    const uint32_t addresses[] = {0x20000, 0x20400, 0x20800};
    const uint16_t lengths[] = {1024, 1024, 452};
    for (size_t b = 0; b < 3; ++b) {
        const Bytes& m = probe.blocks[b];
        EXPECT_EQ(m[1], 0) << "no compression on the network";
        EXPECT_EQ(be32(m, 2), b);
        EXPECT_EQ(be32(m, 6), addresses[b]);
        EXPECT_EQ((m[10] << 8) | m[11], lengths[b]);
        EXPECT_EQ(Bytes(m.begin() + 12, m.end()),
                  Bytes(data.begin() + 1024 * b, data.begin() + 1024 * b + lengths[b]));
    }
    uint32_t detail = 99;
    EXPECT_EQ(download.end(detail), 0);
    EXPECT_EQ(detail, 0u);
}

TEST(Download, WindowOfThreeKeepsBlocksInFlight) {
    NetProbe probe;
    std::vector<uint32_t> acked;
    // Acknowledge only every third block, cumulatively.
    probe.acknowledge = [](uint32_t s) {
        return (s + 1) % 3 == 0 ? std::vector<Bytes>{ack(s + 1)} : std::vector<Bytes>{};
    };
    files::Download download(probe.link.link);
    ASSERT_EQ(download.init(0, false), 0);
    Bytes data(1024 * 9, 0x5A);
    ASSERT_EQ(download.send(0, static_cast<uint16_t>(data.size()), data.data()), 0);
    EXPECT_EQ(probe.blocks.size(), 9u);  // no resends were needed
    uint32_t detail = 0;
    EXPECT_EQ(download.end(detail), 0);
}

TEST(Download, SilentProbeGivesNoResponseAfterFourResends) {
    NetProbe probe;
    probe.acknowledge = [](uint32_t) { return std::vector<Bytes>{}; };
    files::Download download(probe.link.link);
    ASSERT_EQ(download.init(0, false), 0);
    Bytes data(4096, 1);
    EXPECT_EQ(download.send(0, 4096, data.data()), link::kNoResponse);
    // Three blocks go out, then the fourth waits: four resends of the three, then -1201.
    EXPECT_EQ(probe.blocks.size(), 3u + 4u * 3u);
    EXPECT_EQ(download.send(0, 16, data.data()), link::kNoResponse);
    EXPECT_EQ(probe.blocks.size(), 15u);
}

TEST(Download, FailedAcknowledgementSticksWithItsDetail) {
    NetProbe probe;
    probe.acknowledge = [](uint32_t s) {
        return std::vector<Bytes>{s == 1 ? ack(1, 3, 0x00ABCDEF) : ack(s + 1)};
    };
    files::Download download(probe.link.link);
    ASSERT_EQ(download.init(0, false), 0);
    Bytes data(1024, 2);
    EXPECT_EQ(download.send(0, 1024, data.data()), 0);
    EXPECT_EQ(download.send(0x400, 1024, data.data()), 0);
    EXPECT_EQ(download.send(0x800, 1024, data.data()), 0);
    // The failed acknowledgement is seen while waiting for the window or at the end.
    uint32_t detail = 0;
    EXPECT_EQ(download.end(detail), link::kDownloadFailed);
    EXPECT_EQ(detail, 0x00ABCDEFu);
    size_t sent = probe.blocks.size();
    EXPECT_EQ(download.send(0xC00, 1024, data.data()), link::kDownloadFailed);
    EXPECT_EQ(probe.blocks.size(), sent);
    ASSERT_EQ(download.init(0, false), 0);
    probe.acknowledge = [](uint32_t s) { return std::vector<Bytes>{ack(s + 1)}; };
    EXPECT_EQ(download.send(0, 16, data.data()), 0);
    EXPECT_EQ(download.end(detail), 0);
    EXPECT_EQ(detail, 0u);
}

TEST(Download, StartAnswerIsChecked) {
    ScriptedLink bad([](const Bytes&) { return std::vector<Bytes>{{0x28, 3, 0x04, 0x00}}; });
    files::Download download(bad.link);
    EXPECT_EQ(download.init(0, false), link::kInvalidResponse);
}

TEST(Download, SerialLinkCompressesAndKeepsHistoryAcrossBlocks) {
    ScriptedLine line;
    FakeProbe probe;
    std::vector<Bytes> blocks;
    probe.onCommand = [&](const Bytes& payload) {
        Bytes m(payload.begin() + 2, payload.end());
        if (m[0] == 0x28) {
            line.deliverFrame(answerPayload(payload[0] >> 6, {0x28, 3, 0x04, 0x00, 0x00, 0x64}));
            return;
        }
        blocks.push_back(m);
        line.deliverFrame(answerPayload(0, ack(be32(m, 2) + 1)));
    };
    probe.attach(line);
    link::LinkContext connection(link::libraryFlavour(), line, line.clock);
    ASSERT_EQ(connection.openSerial("/dev/scripted", 115200), 0);
    files::Download download(connection);
    ASSERT_EQ(download.init(0, true), 0);
    Bytes zeros(20, 0);
    ASSERT_EQ(download.send(0x100, 20, zeros.data()), 0);
    ASSERT_EQ(download.send(0x200, 20, zeros.data()), 0);
    uint32_t detail = 0;
    ASSERT_EQ(download.end(detail), 0);
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0], hexBytes("29 01 00000000 00000100 0014 06 00 F0 00 00 11"));
    // The second block finds the first block's bytes in the history: two matches.
    EXPECT_EQ(blocks[1][1], 1);
    EXPECT_EQ(be32(blocks[1], 2), 1u);
    EXPECT_LT(blocks[1].size(), blocks[0].size());
}

}  // namespace
}  // namespace tov::test
