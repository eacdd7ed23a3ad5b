// The probe's answers without a transport: link control, the loader's restart, memory pieces.
#include <gtest/gtest.h>

#include <vector>

#include "link/frame_header.h"
#include "sim/probe.h"

namespace tov::sim {
namespace {

using Bytes = std::vector<uint8_t>;
using std::chrono::milliseconds;

class ProbeTest : public ::testing::Test {
protected:
    Probe make(bool loader, uint32_t rate = 9600) {
        SimOptions options;
        options.loader = loader;
        options.rate = rate;
        return Probe(options);
    }

    static Bytes rateRequest(uint32_t rate) {
        uint8_t payload[link::kRateChangePayloadSize];
        link::writeRateChangePayload(payload, rate);
        return Bytes(payload + link::kHeaderSize, payload + sizeof payload);
    }

    static Bytes readPiece(uint32_t address, uint16_t size) {
        return {0xB8,
                uint8_t(address >> 24),
                uint8_t(address >> 16),
                uint8_t(address >> 8),
                uint8_t(address),
                0x00,
                0x04,
                uint8_t(size >> 8),
                uint8_t(size)};
    }

    static Bytes writePiece(uint32_t address, const Bytes& data) {
        Bytes r{0xB9,
                uint8_t(address >> 24),
                uint8_t(address >> 16),
                uint8_t(address >> 8),
                uint8_t(address),
                0x00,
                0x04,
                uint8_t(data.size() >> 8),
                uint8_t(data.size())};
        r.insert(r.end(), data.begin(), data.end());
        return r;
    }

    static int16_t status(const Bytes& answer) {
        return static_cast<int16_t>((answer.at(1) << 8) | answer.at(2));
    }

    Probe::TimePoint t0 = std::chrono::steady_clock::now();
};

TEST_F(ProbeTest, PingAndLineRateChange) {
    Probe probe = make(false);
    EXPECT_EQ(probe.handleLink(Bytes{link::kLinkPing}, t0), Bytes{link::kLinkPing});

    // Each rate of the table is taken; the answer names the rate now in use.
    for (uint32_t rate : link::kLineRates) {
        auto answer = probe.handleLink(rateRequest(rate), t0);
        ASSERT_TRUE(answer);
        EXPECT_EQ(*answer, rateRequest(rate));
        EXPECT_EQ(probe.listeningRate(t0), rate);
    }
    // A rate outside the table keeps the current one and says so.
    auto refused = probe.handleLink(rateRequest(12345), t0);
    ASSERT_TRUE(refused);
    EXPECT_EQ(*refused, rateRequest(115200));
    EXPECT_EQ(probe.listeningRate(t0), 115200u);

    // Malformed or unknown link messages are not answered.
    EXPECT_FALSE(probe.handleLink(Bytes{}, t0));
    EXPECT_FALSE(probe.handleLink(Bytes{0x01, 0x00}, t0));
    EXPECT_FALSE(probe.handleLink(Bytes{0x03, 0x00, 0x00, 0x96}, t0));
    EXPECT_FALSE(probe.handleLink(Bytes{0x07}, t0));
}

TEST_F(ProbeTest, LoaderStartsTheFirmwareAfterASilenceAtTheStartRate) {
    Probe probe = make(true, 19200);
    EXPECT_TRUE(probe.inLoader(t0));
    EXPECT_EQ(probe.handleRequest(Bytes{0xB8, 0, 0, 0, 0, 0, 0, 0, 4}, t0), Bytes{0x00});
    EXPECT_EQ(probe.handleRequest(Bytes{}, t0), Bytes{0x00});
    ASSERT_TRUE(probe.handleLink(rateRequest(115200), t0));

    EXPECT_EQ(probe.handleRequest(Bytes{0x71}, t0), Bytes{0x71});
    EXPECT_FALSE(probe.listening(t0));
    EXPECT_FALSE(probe.listening(t0 + Probe::kRestartSilence - milliseconds(1)));

    const auto after = t0 + Probe::kRestartSilence;
    EXPECT_TRUE(probe.listening(after));
    EXPECT_FALSE(probe.inLoader(after));
    EXPECT_EQ(probe.listeningRate(after), 19200u);

    // The firmware does not know Start firmware but knows memory.
    EXPECT_EQ(probe.handleRequest(Bytes{0x71}, after), Bytes{0x00});
    EXPECT_EQ(probe.handleRequest(readPiece(0, 4), after).size(), 7u);
    EXPECT_TRUE(probe.listening(after + milliseconds(5000)));
}

TEST_F(ProbeTest, MemoryPiecesReadThePatternAndWhatWasWritten) {
    Probe probe = make(false);
    Bytes pattern = probe.handleRequest(readPiece(0x28000000, 8), t0);
    ASSERT_EQ(pattern.size(), 3u + 8u);
    EXPECT_EQ(pattern[0], 0xB8);
    EXPECT_EQ(status(pattern), 0);
    EXPECT_EQ(Bytes(pattern.begin() + 3, pattern.end()),
              (Bytes{0xA5, 0xA5, 0xA5, 0x8D, 0xA1, 0xA5, 0xA5, 0x8D}));

    const Bytes data{0x10, 0x20, 0x30, 0x40, 0x50};
    Bytes written = probe.handleRequest(writePiece(0x28000003, data), t0);
    EXPECT_EQ(written, (Bytes{0xB9, 0x00, 0x00}));
    Bytes back = probe.handleRequest(readPiece(0x28000003, 5), t0);
    ASSERT_EQ(back.size(), 8u);
    EXPECT_EQ(Bytes(back.begin() + 3, back.end()), data);

    // The largest piece that fits an answer frame, and zero-size pieces.
    EXPECT_EQ(probe.handleRequest(readPiece(0x1000, 1495), t0).size(), 1498u);
    EXPECT_EQ(probe.handleRequest(readPiece(0x1000, 0), t0), (Bytes{0xB8, 0x00, 0x00}));
    EXPECT_EQ(probe.handleRequest(writePiece(0x1000, {}), t0), (Bytes{0xB9, 0x00, 0x00}));
}

TEST_F(ProbeTest, MemoryPiecesRefuseTheClosedRangeAndBadLengths) {
    SimOptions options;
    options.unmappedFirst = 0x40000000;
    options.unmappedLast = 0x4000FFFF;
    Probe probe(options);

    Bytes closed = probe.handleRequest(readPiece(0x3FFFFFFE, 4), t0);
    ASSERT_EQ(closed.size(), 7u);
    EXPECT_EQ(status(closed), -2107);
    EXPECT_EQ(closed[1], 0xF7);
    EXPECT_EQ(closed[2], 0xC5);
    EXPECT_EQ(Bytes(closed.begin() + 3, closed.end()), Bytes(4, 0x00));

    Bytes refused = probe.handleRequest(writePiece(0x3FFFFFFE, {1, 2, 3, 4}), t0);
    EXPECT_EQ(refused, (Bytes{0xB9, 0xF7, 0xC5}));
    Bytes untouched = probe.handleRequest(readPiece(0x3FFFFFFC, 4), t0);
    EXPECT_EQ(Bytes(untouched.begin() + 3, untouched.end()), (Bytes{0x59, 0x5A, 0x5A, 0x9A}));

    // Default range: the top megabyte.
    Probe plain = make(false);
    EXPECT_EQ(status(plain.handleRequest(readPiece(0xFFF00000, 1), t0)), -2107);
    EXPECT_EQ(status(plain.handleRequest(readPiece(0xFFEFFFFF, 1), t0)), 0);

    const Bytes invalid{0xB8, 0xF7, 0xCA};
    Bytes shortRead = readPiece(0, 4);
    shortRead.pop_back();
    EXPECT_EQ(probe.handleRequest(shortRead, t0), invalid);
    Bytes longRead = readPiece(0, 4);
    longRead.push_back(0);
    EXPECT_EQ(probe.handleRequest(longRead, t0), invalid);
    EXPECT_EQ(probe.handleRequest(readPiece(0, 1496), t0), invalid);

    Bytes sizeTooBig = writePiece(0x1000, {1, 2, 3});
    sizeTooBig[8] = 4;
    EXPECT_EQ(probe.handleRequest(sizeTooBig, t0), (Bytes{0xB9, 0xF7, 0xCA}));
    EXPECT_EQ(probe.handleRequest(Bytes{0xB9, 0, 0, 0x10}, t0), (Bytes{0xB9, 0xF7, 0xCA}));
    Bytes unchanged = probe.handleRequest(readPiece(0x1000, 3), t0);
    EXPECT_EQ(unchanged[3], 0xA5);

    EXPECT_EQ(probe.handleRequest(Bytes{0xEE, 1, 2}, t0), Bytes{0x00});
}

}  // namespace
}  // namespace tov::sim
