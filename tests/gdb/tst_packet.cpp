// The GDB packet layer on scripted byte streams: framing, checksums, escapes, run lengths,
// control bytes, and junk that must neither crash the reader nor make it grow.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "gdb/packet.h"

namespace tov::gdb {
namespace {

using Kind = Incoming::Kind;

std::vector<Incoming> read(PacketReader& reader, std::string_view bytes) {
    std::vector<Incoming> out;
    reader.feed(bytes, out);
    return out;
}

TEST(GdbPacket, FramesAndReadsBackWithEscapesAndControlBytes) {
    EXPECT_EQ(framePacket("OK"), "$OK#9a");
    EXPECT_EQ(framePacket("a#b$c}d*e"), "$a}\x03" "b}\x04" "c}]d}\x0a" "e#51");

    PacketReader reader(64);
    // Two packets, an ack, a nak and an interrupt byte, split at every awkward place.
    const std::string stream = "+" + framePacket("m8000,4") + "-\x03" + framePacket("a#b$c}d*e");
    std::vector<Incoming> got;
    for (const char c : stream) reader.feed(std::string_view(&c, 1), got);
    ASSERT_EQ(got.size(), 5u);
    EXPECT_EQ(got[0].kind, Kind::Ack);
    EXPECT_EQ(got[1].kind, Kind::Packet);
    EXPECT_EQ(got[1].payload, "m8000,4");
    EXPECT_EQ(got[2].kind, Kind::Nak);
    EXPECT_EQ(got[3].kind, Kind::Interrupt);
    EXPECT_EQ(got[4].payload, "a#b$c}d*e");

    // A run length: "0* " is '0' and 3 more (' ' is 32 = 29 + 3).
    got = read(reader, "$0* #7a");
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].payload, "0000");

    // A wrong checksum, a non-hex checksum, and a start inside a packet are refused.
    got = read(reader, "$OK#00$OK#zz$abc$OK#9a");
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0].kind, Kind::BadChecksum);
    EXPECT_EQ(got[1].kind, Kind::BadChecksum);
    EXPECT_EQ(got[2].kind, Kind::BadChecksum);
    EXPECT_EQ(got[3].kind, Kind::Packet);
    EXPECT_EQ(got[3].payload, "OK");
}

TEST(GdbPacket, OversizedMalformedAndRandomInputIsRefusedAndTheReaderRecovers) {
    PacketReader reader(16);
    // Too long: dropped whole, whatever its checksum says.
    std::string big(100, 'x');
    std::vector<Incoming> got = read(reader, framePacket(big));
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].kind, Kind::BadChecksum);
    // A dangling escape and a run length with nothing before it.
    got = read(reader, framePacket("") .substr(0, 1) + "}#7d" + "$*!#4b");
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].kind, Kind::BadChecksum);
    EXPECT_EQ(got[1].kind, Kind::BadChecksum);

    // Binary junk of every kind: the reader never yields a payload over its limit and still
    // reads a good packet afterwards.
    std::mt19937 random(7);
    for (int round = 0; round < 200; ++round) {
        std::string junk(static_cast<size_t>(random() % 300), '\0');
        for (char& c : junk) c = static_cast<char>(random());
        got = read(reader, junk);
        for (const Incoming& in : got) EXPECT_LE(in.payload.size(), 16u);
        // A truncated packet at the end is ended by the next start byte.
        got = read(reader, "#00" + framePacket("qC"));
        ASSERT_FALSE(got.empty());
        EXPECT_EQ(got.back().kind, Kind::Packet);
        EXPECT_EQ(got.back().payload, "qC");
    }
}

TEST(GdbPacket, HexHelpers) {
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(fromHex("00fFa5", bytes));
    EXPECT_EQ(bytes, (std::vector<uint8_t>{0x00, 0xFF, 0xA5}));
    EXPECT_EQ(toHex(bytes), "00ffa5");
    EXPECT_FALSE(fromHex("abc", bytes));
    EXPECT_FALSE(fromHex("zz", bytes));
    uint32_t value = 0;
    EXPECT_TRUE(parseHex32("8000abcd", value));
    EXPECT_EQ(value, 0x8000ABCDu);
    EXPECT_FALSE(parseHex32("", value));
    EXPECT_FALSE(parseHex32("123456789", value));
    EXPECT_FALSE(parseHex32("12g", value));
    EXPECT_EQ(wordHex(0x12345678), "78563412");
    const uint8_t text[] = {'h', 'i', 0x0A};
    EXPECT_EQ(consoleOutput(text), "O68690a");
}

}  // namespace
}  // namespace tov::gdb
