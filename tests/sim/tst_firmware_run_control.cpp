// The simulated target's run control: state machine, step, state answers, the running program
// stopping at a breakpoint, reset, startup, clock speed and the probe information.
#include <gtest/gtest.h>

#include "sim/firmware_info.h"
#include "tests/sim/firmware_chat.h"

namespace tov::sim {
namespace {

TEST(FirmwareRunControl, StartHaltAndTheirWrongStates) {
    FirmwareChat f;
    EXPECT_EQ(f.state(), 1);                            // ready after power-up
    EXPECT_EQ(f.ask(Req(0xBB)), statusBytes(0xBB, 0));  // halting a halted target is fine
    EXPECT_EQ(f.ask(Req(0xBA)), statusBytes(0xBA, 0));
    EXPECT_EQ(f.state(), 2);
    EXPECT_EQ(f.ask(Req(0xBA)), statusBytes(0xBA, -2006));  // already running
    EXPECT_EQ(f.ask(Req(0xBB)), statusBytes(0xBB, 0));
    EXPECT_EQ(f.state(), 1);
    EXPECT_EQ(f.stateValues().at(0), 0u);  // stopped by the host

    // An injected fault: start refused, halt reports the cause, a reset recovers.
    EXPECT_EQ(f.command("fault -2009"), 0);
    Bytes s = f.ask(Req(0xB4));
    EXPECT_EQ(s.at(1), 3);
    EXPECT_EQ(int16_t(be16(s, 2)), -2009);  // the error field
    EXPECT_EQ(f.ask(Req(0xBA)), statusBytes(0xBA, -2006));
    EXPECT_EQ(f.ask(Req(0xBB)), statusBytes(0xBB, -2009));
    EXPECT_EQ(f.ask(Req(0x82).u8(0).u16(0)), Bytes{0x82});
    EXPECT_EQ(f.state(), 1);

    // Held in reset: reported as state 0; start runs it, halt would make it ready.
    EXPECT_EQ(f.command("target hold"), 0);
    EXPECT_EQ(f.state(), 0);
    EXPECT_EQ(f.ask(Req(0xBA)), statusBytes(0xBA, 0));
    EXPECT_EQ(f.state(), 2);

    // Malformed run-control requests.
    EXPECT_EQ(f.ask(Req(0xBA).u8(0)), statusBytes(0xBA, -2102));
    EXPECT_EQ(f.ask(Req(0xBB).u8(0)), statusBytes(0xBB, -2102));
    EXPECT_EQ(f.ask(Req(0x82).u8(0)), Bytes{0x00});
    EXPECT_EQ(f.ask(Req(0xB4).u8(0)), Bytes{0x00});
}

TEST(FirmwareRunControl, StepAdvancesThePcInDebugModeOnly) {
    FirmwareChat f;
    const Bytes step = Req(0xBC).u32(0).u32(0).u16(1);
    EXPECT_EQ(f.ask(step), (Bytes{0xBC, 0, 0, 0, 0, 0, 4}));
    EXPECT_EQ(f.ask(step), (Bytes{0xBC, 0, 0, 0, 0, 0, 8}));
    EXPECT_EQ(f.stateValues().at(0), 4u);  // stopped by a step

    // Thumb state steps by 2.
    ASSERT_EQ(f.ask(Req(0xB7).u16(1).u16(601).u16(0).u32(0x1D3 | 0x20)), statusBytes(0xB7, 0));
    EXPECT_EQ(be32(f.ask(step), 3), 10u);

    f.ask(Req(0xBA));
    Bytes refused = f.ask(step);
    ASSERT_EQ(refused.size(), 7u);
    EXPECT_EQ(statusOf(refused), -2101);
    EXPECT_EQ(statusOf(f.ask(Req(0xBC).u32(0).u32(0))), -2102);
}

TEST(FirmwareRunControl, StateAnswerLayoutAndResetTime) {
    FirmwareChat f;
    ASSERT_EQ(f.ask(Req(0x82).u8(0).u16(500)), Bytes{0x82});
    const Bytes expected{0xB4, 1,    0,    0,    0,    0,    0x01, 0xF4,
                         7,                                               // state, error, time, n
                         0,    0,    0,    0,                             // cause
                         0,    0,    0,    0,                             // PC
                         0,    0,    0x01, 0xD3,                          // CPSR
                         0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,  // no points hit
                         0,    0,    0,    0,                             // vector offset
                         0,    0,    0,    0};                            // little-endian
    EXPECT_EQ(f.ask(Req(0xB4)), expected);
}

TEST(FirmwareRunControl, ARunningTargetStopsAtABreakpointAndPrints) {
    FirmwareChat f;
    const Bytes add = f.ask(Req(0xBD).u32(0x4000).u32(1));
    ASSERT_EQ(statusOf(add), 0);
    const uint16_t id = be16(add, 3);
    f.ask(Req(0xBA));

    // 256 instructions per poll: 0x4000 is reached on the 16th poll.
    int polls = 0;
    while (f.state() == 2) ASSERT_LT(++polls, 100);
    EXPECT_EQ(polls, 15);
    std::vector<uint32_t> v = f.stateValues();
    EXPECT_EQ(v.at(0), 1u);  // breakpoint
    EXPECT_EQ(v.at(1), 0x4000u);
    EXPECT_EQ(v.at(3), id);
    EXPECT_EQ(be32(f.ask(Req(0xC2).u16(id)), 3), 1u);  // one hit

    // The program printed a line every 8 polls (the stopping burst prints nothing).
    Bytes text = f.ask(Req(0x20));
    EXPECT_EQ(std::string(text.begin() + 1, text.end()), "target running, pc 0x00002000\r\n");
    EXPECT_EQ(f.ask(Req(0x20)), Bytes{0x45});

    // Going on from a breakpoint executes its instruction instead of stopping at once.
    const uint16_t next = be16(f.ask(Req(0xBD).u32(0x4400).u32(1)), 3);
    EXPECT_NE(next, id);
    f.ask(Req(0xBA));
    v = f.stateValues();
    EXPECT_EQ(v.at(1), 0x4400u);
    EXPECT_EQ(v.at(3), next);

    // A deleted breakpoint is no longer hit.
    EXPECT_EQ(f.ask(Req(0xBE).u16(next)), statusBytes(0xBE, 0));
    f.ask(Req(0xBA));
    EXPECT_EQ(f.state(), 2);
    EXPECT_EQ(f.stateValues().at(1), 0x4400u + 2 * 0x400u);
}

TEST(FirmwareRunControl, StartupChecksItsListResetsAndRunsTheEntries) {
    FirmwareChat f;
    f.ask(Req(0xBA));
    Bytes good = Req(0xB5)
                     .u16(100)
                     .u32(0xCAFE)
                     .u16(4)
                     .u16(4)
                     .u32(0x2000)
                     .u32(0x11223344)  // write 32 bits
                     .u16(2)
                     .u32(0x2005)
                     .u32(0xAB)  // write 8 bits
                     .u16(5)
                     .u32(13)
                     .u32(0x8000)  // r13 of the current mode
                     .u16(7)
                     .u32(1)
                     .u32(0x78);  // CP15 register 1
    EXPECT_EQ(f.ask(good), statusBytes(0xB5, 0));
    EXPECT_EQ(f.state(), 1);
    EXPECT_EQ(f.probe.startup().entries.size(), 4u);
    EXPECT_EQ(f.probe.startup().parameter, 0xCAFEu);
    EXPECT_EQ(f.ask(Req(0xB8).u32(0x2000).u16(0).u16(6)),
              (Bytes{0xB8, 0, 0, 0x11, 0x22, 0x33, 0x44, TargetMemory::patternByte(0x2004), 0xAB}));
    Bytes regs = f.ask(Req(0xB6).u16(2).u16(606).u16(13).u16(614).u16(1));
    EXPECT_EQ(be32(regs, 5), 0x8000u);  // reset leaves Supervisor mode
    EXPECT_EQ(be32(regs, 9), 0x78u);

    // Count and length disagree, or too many entries: refused, nothing stored.
    EXPECT_EQ(f.ask(Req(0xB5).u16(0).u32(0).u16(2).u16(4).u32(0).u32(0)), statusBytes(0xB5, -2102));
    EXPECT_EQ(f.ask(Req(0xB5).u16(0).u32(0)), statusBytes(0xB5, -2102));
    Req tooMany(0xB5);
    tooMany.u16(0).u32(0).u16(129);
    for (int i = 0; i < 129; ++i) tooMany.u16(0).u32(0).u32(0);
    EXPECT_EQ(f.ask(tooMany), statusBytes(0xB5, -2102));
    EXPECT_EQ(f.probe.startup().entries.size(), 4u);

    // A failing entry stops the list with its status; the target is ready all the same.
    f.ask(Req(0xBA));
    Bytes bad =
        Req(0xB5).u16(0).u32(0).u16(2).u16(4).u32(0xFFF00000).u32(1).u16(4).u32(0x3000).u32(7);
    EXPECT_EQ(f.ask(bad), statusBytes(0xB5, -2107));
    EXPECT_EQ(f.state(), 1);
    // The entry after the failing one did not run: its address still holds the pattern.
    Bytes untouched{0xB8, 0, 0};
    for (uint32_t a = 0x3000; a < 0x3004; ++a) untouched.push_back(TargetMemory::patternByte(a));
    EXPECT_EQ(f.ask(Req(0xB8).u32(0x3000).u16(0).u16(4)), untouched);
}

TEST(FirmwareRunControl, ClockSpeedAndProbeInformation) {
    SimOptions options;
    options.family = 40;
    options.cpu = 0x8821;
    FirmwareChat f(options);
    EXPECT_EQ(f.ask(Req(0x83).u32(12000)), Bytes{0x83});
    EXPECT_EQ(f.probe.target().debugClock(), 12000u);
    EXPECT_EQ(f.ask(Req(0x83).u16(1)), Bytes{0x00});

    EXPECT_EQ(f.ask(Req(0xC1)), (Bytes{0xC1, 0, 0xE8, 105, 0x88, 0x21, 0, 0, 0, 0}));
    f.probe.storedSetup().time = 0x01020304;
    f.probe.storedSetup().id = std::string(45, 'x');
    Bytes info = f.ask(Req(0xC1));
    EXPECT_EQ(info.size(), 50u);  // the identifier is cut to 40 characters
    EXPECT_EQ(be32(info, 6), 0x01020304u);

    EXPECT_EQ(versionWord(10, 105), 0xA069);
    EXPECT_EQ(versionWord(0, 7), 0x0007);
    EXPECT_EQ(versionWord(12, 5), 0xCC05);
    EXPECT_EQ(versionWord(63, 300), 0xFF2C);
}

}  // namespace
}  // namespace tov::sim
