// Terminal and channel requests: echo of typed characters, printed text, bounded loop-back.
#include <gtest/gtest.h>

#include <string>

#include "sim/firmware_channels.h"
#include "tests/sim/firmware_chat.h"

namespace tov::sim {
namespace {

std::string terminalText(FirmwareChat& f) {
    Bytes a = f.ask(Req(0x20));
    EXPECT_EQ(a.at(0), 0x45);
    return std::string(a.begin() + 1, a.end());
}

TEST(FirmwareTerminal, TypedCharactersEchoAndPrintedTextArrivesInPieces) {
    FirmwareChat f;
    EXPECT_EQ(f.ask(Req(0x20)), Bytes{0x45});  // nothing pending
    for (char c : std::string("hi\r")) EXPECT_EQ(f.ask(Req(0x0D).u8(uint8_t(c))), Bytes{0x40});
    EXPECT_EQ(terminalText(f), "hi\r\n");
    EXPECT_EQ(terminalText(f), "");

    // More than one answer holds: the first read takes 1497 bytes, the next the rest.
    EXPECT_EQ(f.command("print " + std::string(1600, 'a')), 0);
    EXPECT_EQ(terminalText(f).size(), 1497u);
    EXPECT_EQ(terminalText(f), std::string(103, 'a') + "\r\n");

    // Unread text is bounded; the oldest goes first.
    for (int i = 0; i < 70; ++i)
        f.probe.target().terminal().print(std::string(1024, char('0' + i % 10)));
    EXPECT_EQ(f.probe.target().terminal().pending(), TerminalBuffer::kCapacity);
    EXPECT_EQ(terminalText(f)[0], '6');  // lines 0..5 were dropped

    EXPECT_EQ(f.ask(Req(0x0D)), Bytes{0x00});
    EXPECT_EQ(f.ask(Req(0x0D).u8(1).u8(2)), Bytes{0x00});
    EXPECT_EQ(f.ask(Req(0x20).u8(0)), Bytes{0x00});
}

TEST(FirmwareChannels, LoopBackPerChannelWithABoundedQueue) {
    FirmwareChat f;
    EXPECT_EQ(f.ask(Req(0xC7).u16(3).u16(4).raw({1, 2, 3, 4})), (Bytes{0xC7, 0, 0, 0, 4}));
    EXPECT_EQ(f.ask(Req(0xC6).u16(2).u16(10)), (Bytes{0xC6, 0, 0, 0, 0}));  // other channel
    EXPECT_EQ(f.ask(Req(0xC6).u16(3).u16(3)), (Bytes{0xC6, 0, 0, 0, 3, 1, 2, 3}));
    EXPECT_EQ(f.ask(Req(0xC6).u16(3).u16(10)), (Bytes{0xC6, 0, 0, 0, 1, 4}));

    // 64 KiB per channel: the 65th KiB piece is accepted only in part.
    const Bytes piece(1024, 0x77);
    for (int i = 0; i < 63; ++i)
        ASSERT_EQ(be16(f.ask(Req(0xC7).u16(7).u16(1024).raw(piece)), 3), 1024);
    ASSERT_EQ(be16(f.ask(Req(0xC7).u16(7).u16(1000).raw(Bytes(1000, 1))), 3), 1000);
    EXPECT_EQ(f.ask(Req(0xC7).u16(7).u16(100).raw(Bytes(100, 2))), (Bytes{0xC7, 0, 0, 0, 24}));
    EXPECT_EQ(f.ask(Req(0xC7).u16(7).u16(1).u8(3)), (Bytes{0xC7, 0, 0, 0, 0}));
    EXPECT_EQ(f.probe.channels().pending(7), Channels::kCapacity);
    // Reading makes room again; a read answers at most what fits a message.
    EXPECT_EQ(f.ask(Req(0xC6).u16(7).u16(0xFFFF)).size(), 1498u);
    EXPECT_EQ(be16(f.ask(Req(0xC7).u16(7).u16(1).u8(3)), 3), 1);

    for (const Bytes& bad : {Bytes(Req(0xC6).u16(8).u16(1)), Bytes(Req(0xC6).u16(0))}) {
        EXPECT_EQ(f.ask(bad), statusBytes(0xC6, -2102));
    }
    for (const Bytes& bad : {Bytes(Req(0xC7).u16(8).u16(1).u8(0)),
                             Bytes(Req(0xC7).u16(0).u16(2).u8(0)), Bytes(Req(0xC7).u16(0))}) {
        EXPECT_EQ(f.ask(bad), statusBytes(0xC7, -2102));
    }
}

}  // namespace
}  // namespace tov::sim
