// Direct commands: replies, the state they change, and each status the interpreter gives.
#include <gtest/gtest.h>

#include <string>

#include "tests/sim/firmware_chat.h"

namespace tov::sim {
namespace {

std::string reply(const Bytes& answer) {
    return std::string(answer.begin() + 3, answer.end());
}

TEST(FirmwareCommands, RepliesAndEffects) {
    FirmwareChat f;
    Bytes help = f.ask(Req(0xC3).text("help").u8(0));
    EXPECT_EQ(statusOf(help), 0);
    for (const char* word : {"version", "target", "print", "fault", "clear", "speed", "vector"}) {
        EXPECT_NE(reply(help).find(word), std::string::npos) << word;
    }
    EXPECT_EQ(reply(f.ask(Req(0xC3).text("version").u8(0))),
              "firmware 1.05, family 40, CPU type 0x8821");
    EXPECT_EQ(reply(f.ask(Req(0xC3).text("  TARGET   State ").u8(0))),
              "READY pc 0x00000000 cpsr 0x000001D3");

    EXPECT_EQ(f.command("print hello  world"), 0);
    EXPECT_EQ(f.ask(Req(0x20)), Req(0x45).text("hello  world\r\n").operator Bytes());

    EXPECT_EQ(f.command("fault -2009"), 0);
    EXPECT_EQ(reply(f.ask(Req(0xC3).text("target state").u8(0))), "ERROR -2009");
    EXPECT_EQ(f.command("clear fault"), 0);
    EXPECT_EQ(f.state(), 1);

    EXPECT_EQ(reply(f.ask(Req(0xC3).text("speed 0x100").u8(0))), "debug clock speed 256");
    EXPECT_EQ(f.command("vector catch 0x1F"), 0);
    Bytes vc = f.ask(Req(0xB6).u16(1).u16(600).u16(8102));
    EXPECT_EQ(be32(vc, 5), 0x1Fu);

    f.ask(Req(0xC7).u16(1).u16(3).raw({1, 2, 3}));
    EXPECT_EQ(reply(f.ask(Req(0xC3).text("channel 1").u8(0))), "channel 1: 3 bytes waiting");
    EXPECT_EQ(f.command("clear channel 1"), 0);
    EXPECT_EQ(f.probe.channels().pending(1), 0u);

    EXPECT_EQ(f.command("target run"), 0);
    EXPECT_EQ(f.state(), 2);
    EXPECT_EQ(f.command("target halt"), 0);
    EXPECT_EQ(f.command("target hold"), 0);
    EXPECT_EQ(f.state(), 0);
    EXPECT_EQ(f.command("target release"), 0);
    EXPECT_EQ(f.state(), 1);

    f.probe.storedSetup().id = "board 7";
    f.probe.storedSetup().time = 1234;
    EXPECT_EQ(reply(f.ask(Req(0xC3).text("setup").u8(0))), "setup 'board 7' time 1234");
}

TEST(FirmwareCommands, EachStatusHasItsCause) {
    SimOptions arm7;
    arm7.cpu = 0x8700;
    FirmwareChat f(arm7);
    EXPECT_EQ(f.command("bogus"), -2201);
    EXPECT_EQ(f.command(""), -2201);
    EXPECT_EQ(f.command("target jump"), -2202);
    EXPECT_EQ(f.command("target"), -2202);
    EXPECT_EQ(f.command("clear everything"), -2202);
    EXPECT_EQ(f.command("vector throw 1"), -2202);
    EXPECT_EQ(f.command("target state now"), -2203);
    EXPECT_EQ(f.command("fault"), -2203);
    EXPECT_EQ(f.command("print"), -2203);
    EXPECT_EQ(f.command("speed 1 2"), -2203);
    EXPECT_EQ(f.command("setup"), -2204);
    EXPECT_EQ(f.command("fault abc"), -2205);
    EXPECT_EQ(f.command("fault -1205"), -2205);  // not a target-side code
    EXPECT_EQ(f.command("channel 8"), -2205);
    EXPECT_EQ(f.command("speed 0x1FFFFFFFF"), -2205);
    EXPECT_EQ(f.command("vector catch 0x100"), -2205);
    EXPECT_EQ(f.command("vector catch 0x1F"), -2206);
    EXPECT_EQ(f.command("target release"), -2207);
    EXPECT_EQ(f.command("fault -2001"), 0);
    EXPECT_EQ(f.command("target halt"), -2207);
    EXPECT_EQ(f.command("target run"), -2207);

    // Without its terminating zero byte the request is malformed.
    EXPECT_EQ(f.ask(Req(0xC3).text("help")), statusBytes(0xC3, -2102));
    EXPECT_EQ(f.ask(Req(0xC3)), statusBytes(0xC3, -2102));
    // A long unknown word is echoed in a reply that still fits a message.
    EXPECT_EQ(f.ask(Req(0xC3).text(std::string(1490, 'z')).u8(0)).size(), 1498u);
}

}  // namespace
}  // namespace tov::sim
