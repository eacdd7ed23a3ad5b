// The emulated ARM core behind the simulated firmware's requests, on hand-made instructions:
// banked registers across a run, code the host rewrites, stops at exceptions, semihosting
// calls and breakpoints.
#include <gtest/gtest.h>

#include <initializer_list>

#include "tests/sim/firmware_chat.h"

namespace tov::sim {
namespace {

class ArmCoreChat : public ::testing::Test {
protected:
    static SimOptions coreOptions() {
        SimOptions options;
        options.core = CoreKind::Arm1136;
        return options;
    }

    void code(uint32_t address, std::initializer_list<uint32_t> words) {
        Req r(0xB9);
        r.u32(address).u16(0).u16(static_cast<uint16_t>(4 * words.size()));
        for (uint32_t w : words)
            r.u8(uint8_t(w)).u8(uint8_t(w >> 8)).u8(uint8_t(w >> 16)).u8(uint8_t(w >> 24));
        ASSERT_EQ(statusOf(chat.ask(r)), 0);
    }
    void set(uint16_t group, uint16_t number, uint32_t value) {
        ASSERT_EQ(statusOf(chat.ask(Req(0xB7).u16(1).u16(group).u16(number).u32(value))), 0);
    }
    uint32_t get(uint16_t group, uint16_t number) {
        Bytes a = chat.ask(Req(0xB6).u16(1).u16(group).u16(number));
        EXPECT_EQ(statusOf(a), 0);
        return be32(a, 5);
    }
    // Starts at `pc` in Supervisor mode and gives the core slices until it stops (or gives up).
    std::vector<uint32_t> runFrom(uint32_t pc, uint32_t cpsr = 0x1D3) {
        set(601, 0, cpsr);
        set(600, 15, pc);
        EXPECT_EQ(statusOf(chat.ask(Req(0xBA))), 0);
        for (int i = 0; i < 10 && chat.state() == 2; ++i) chat.probe.runCore();
        return chat.stateValues();
    }

    FirmwareChat chat{coreOptions()};
};

TEST_F(ArmCoreChat, BankedRegistersLiveAcrossARun) {
    ASSERT_NE(chat.probe.core(), nullptr);
    EXPECT_EQ(chat.probe.core()->error(), "");
    set(606, 13, 0x1000);        // SP_svc
    set(610, 13, 0x2000);        // SP_irq
    set(604, 8, 0x3333);         // r8_fiq
    set(603, 8, 0x4444);         // r8 of the other modes
    code(0x1000, {0xE3A00005,    // mov r0, #5
                  0xE28DD001,    // add sp, sp, #1
                  0xE321F0D2,    // msr cpsr_c, #0xD2 (IRQ mode)
                  0xE28DD002,    // add sp, sp, #2
                  0xEF123456});  // the semihosting call
    const std::vector<uint32_t> values = runFrom(0x1000);
    EXPECT_EQ(values.at(0), 9u);
    EXPECT_EQ(values.at(1), 0x1014u);  // after the call
    EXPECT_EQ(values.at(2) & 0x1F, 0x12u);
    EXPECT_EQ(get(600, 0), 5u);
    EXPECT_EQ(get(606, 13), 0x1001u);
    EXPECT_EQ(get(610, 13), 0x2002u);
    EXPECT_EQ(get(600, 13), 0x2002u);  // the current mode's
    EXPECT_EQ(get(604, 8), 0x3333u);
    EXPECT_EQ(get(600, 8), 0x4444u);

    // Code the host writes over code the core ran before is what runs next.
    code(0x1000, {0xE3A00007, 0xEF123456});  // mov r0, #7; the call
    EXPECT_EQ(runFrom(0x1000).at(1), 0x1008u);
    EXPECT_EQ(get(600, 0), 7u);
}

TEST_F(ArmCoreChat, ExceptionsStopAtTheirVector) {
    set(600, 0, 0x1234);
    code(0x2000, {0xE3A014FF,    // mov r1, #0xFF000000
                  0xE381160F,    // orr r1, r1, #0x00F00000: an inaccessible address
                  0xE5910000,    // ldr r0, [r1]
                  0xE3A02001});  // mov r2, #1
    std::vector<uint32_t> values = runFrom(0x2000);
    EXPECT_EQ(values.at(0), 5u);
    // On the faulting instruction, though it is not the first of its straight run of code: the
    // instructions before it carried out, it and those after it not.
    EXPECT_EQ(values.at(1), 0x2008u);
    EXPECT_EQ(values.at(5), 0x10u);  // data abort
    EXPECT_EQ(get(600, 1), 0xFFF00000u);
    EXPECT_EQ(get(600, 0), 0x1234u);

    // A store to the read-only megabyte aborts on its instruction too; a jump into the
    // inaccessible range aborts the fetch at its target.
    code(0x2040, {0xE3A014FF,    // mov r1, #0xFF000000
                  0xE381160E,    // orr r1, r1, #0x00E00000: the read-only megabyte
                  0xE5810000,    // str r0, [r1]
                  0xE3A02001});  // mov r2, #1
    values = runFrom(0x2040);
    EXPECT_EQ(values.at(1), 0x2048u);
    EXPECT_EQ(values.at(5), 0x10u);
    code(0x2080, {0xE3A014FF,    // mov r1, #0xFF000000
                  0xE381160F,    // orr r1, r1, #0x00F00000
                  0xE1A0F001});  // mov pc, r1
    values = runFrom(0x2080);
    EXPECT_EQ(values.at(1), 0xFFF00000u);
    EXPECT_EQ(values.at(5), 0x0Cu);  // prefetch abort

    code(0x2100, {0xE7F000F0});  // undefined
    EXPECT_EQ(runFrom(0x2100).at(5), 0x04u);
    code(0x2200, {0xEF000010});  // an SVC that is not the semihosting call
    values = runFrom(0x2200);
    EXPECT_EQ(values.at(0), 5u);
    EXPECT_EQ(values.at(5), 0x08u);
}

// An inaccessible range too small to hold the MMU's table: the core runs with its MMU off and
// the emulator refuses the access itself, which it places no nearer than its block's start.
TEST(ArmCoreWithoutTable, AnAccessToAnInaccessiblePageStillStopsAtTheDataAbortVector) {
    SimOptions options;
    options.core = CoreKind::Arm1136;
    options.unmappedFirst = 0x00F00000;
    options.unmappedLast = 0x00F00FFF;
    FirmwareChat chat{options};
    Req code(0xB9);
    code.u32(0x2000).u16(0).u16(16);
    for (uint32_t w : {0xE3A0160Fu,     // mov r1, #0x00F00000
                       0xE3A00005u,     // mov r0, #5
                       0xE5912000u,     // ldr r2, [r1]
                       0xE3A00006u}) {  // mov r0, #6
        code.u8(uint8_t(w)).u8(uint8_t(w >> 8)).u8(uint8_t(w >> 16)).u8(uint8_t(w >> 24));
    }
    ASSERT_EQ(statusOf(chat.ask(code)), 0);
    ASSERT_EQ(statusOf(chat.ask(Req(0xB7).u16(1).u16(601).u16(0).u32(0x1D3))), 0);
    ASSERT_EQ(statusOf(chat.ask(Req(0xB7).u16(1).u16(600).u16(15).u32(0x2000))), 0);
    ASSERT_EQ(statusOf(chat.ask(Req(0xBA))), 0);
    for (int i = 0; i < 10 && chat.state() == 2; ++i) chat.probe.runCore();
    const std::vector<uint32_t> values = chat.stateValues();
    EXPECT_EQ(values.at(0), 5u);
    EXPECT_EQ(values.at(5), 0x10u);
    EXPECT_GE(values.at(1), 0x2000u);
    EXPECT_LE(values.at(1), 0x2008u);
    Bytes r0 = chat.ask(Req(0xB6).u16(1).u16(600).u16(0));
    EXPECT_EQ(be32(r0, 5), 5u);  // the instruction after the access did not run
}

TEST_F(ArmCoreChat, StartFromABreakpointRunsItsInstructionFirst) {
    code(0x3000, {0xE2800001, 0xEAFFFFFD});  // add r0, r0, #1; b 0x3000
    set(600, 0, 0);
    Bytes added = chat.ask(Req(0xBD).u32(0x3000).u32(1));
    ASSERT_EQ(statusOf(added), 0);
    std::vector<uint32_t> values = runFrom(0x3000);
    EXPECT_EQ(values.at(0), 1u);
    EXPECT_EQ(values.at(1), 0x3000u);
    EXPECT_EQ(values.at(3), be16(added, 3));
    EXPECT_EQ(get(600, 0), 1u);  // once round the loop

    // Without the breakpoint the loop runs until halted.
    ASSERT_EQ(statusOf(chat.ask(Req(0xBE).u16(be16(added, 3)))), 0);
    set(601, 0, 0x1D3);
    set(600, 15, 0x3000);
    ASSERT_EQ(statusOf(chat.ask(Req(0xBA))), 0);
    chat.probe.runCore();
    EXPECT_EQ(chat.state(), 2);
    ASSERT_EQ(statusOf(chat.ask(Req(0xBB))), 0);
    EXPECT_EQ(chat.stateValues().at(0), 0u);
    EXPECT_GT(get(600, 0), 1000u);

    // A breakpoint set on code the core has run already still stops it.
    ASSERT_EQ(statusOf(chat.ask(Req(0xBD).u32(0x3004).u32(1))), 0);
    EXPECT_EQ(runFrom(0x3000).at(1), 0x3004u);
}

// A program that spans many slices computes what it would in one: each run's end leaves the
// registers exactly between two instructions. The loop's two blocks jump straight into each
// other, which is where an end that is not taken exactly between them would show: a block run
// twice counts twice.
TEST_F(ArmCoreChat, AProgramCutIntoManySlicesComputesWhatItWouldInOne) {
    constexpr uint32_t kRounds = 40000000;
    code(0x4000, {0xE59F1024,    // ldr r1, [pc, #36]: the rounds
                  0xE3A02000,    // mov r2, #0
                  0xE3A03000,    // mov r3, #0
                  0xE2822001,    // loop: add r2, r2, #1
                  0xEA000000,    // b next
                  0xE1A00000,    // nop (never run)
                  0xE0833002,    // next: add r3, r3, r2
                  0xE2511001,    // subs r1, r1, #1
                  0x1AFFFFF9,    // bne loop
                  0xEF123456,    // the semihosting call
                  0xE1A00000,    // nop
                  kRounds});
    set(601, 0, 0x1D3);
    set(600, 15, 0x4000);
    ASSERT_EQ(statusOf(chat.ask(Req(0xBA))), 0);
    int slices = 0;
    for (; slices < 100000 && chat.state() == 2; ++slices) chat.probe.runCore();
    const std::vector<uint32_t> values = chat.stateValues();
    EXPECT_EQ(values.at(0), 9u) << "after " << slices << " slices";
    EXPECT_EQ(values.at(1), 0x4028u);
    EXPECT_GT(slices, 3);  // the program really was cut
    EXPECT_EQ(get(600, 2), kRounds);
    EXPECT_EQ(get(600, 3), static_cast<uint32_t>(uint64_t{kRounds} * (kRounds + 1) / 2));
}

}  // namespace
}  // namespace tov::sim
