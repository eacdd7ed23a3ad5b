// Register requests of the simulated firmware: ARM banking behind the groups, the coprocessor
// and pseudo-registers, FP and vector files, and what is refused.
#include <gtest/gtest.h>

#include "tests/sim/firmware_chat.h"

namespace tov::sim {
namespace {

Bytes writeOne(uint16_t group, uint16_t number, uint32_t value) {
    return Req(0xB7).u16(1).u16(group).u16(number).u32(value);
}

uint32_t readOne(FirmwareChat& f, uint16_t group, uint16_t number) {
    Bytes a = f.ask(Req(0xB6).u16(1).u16(group).u16(number));
    EXPECT_EQ(a.size(), 9u);
    EXPECT_EQ(statusOf(a), 0);
    return be32(a, 5);
}

TEST(FirmwareRegisters, ModesShareLowRegistersAndBankTheRest) {
    FirmwareChat f;
    // In Supervisor mode (after reset) group 600 is the Supervisor bank.
    ASSERT_EQ(f.ask(writeOne(600, 3, 0x33)), statusBytes(0xB7, 0));
    ASSERT_EQ(f.ask(writeOne(600, 9, 0x99)), statusBytes(0xB7, 0));
    ASSERT_EQ(f.ask(writeOne(600, 13, 0x5C13)), statusBytes(0xB7, 0));
    EXPECT_EQ(readOne(f, 603, 3), 0x33u);     // r0..r7 shared
    EXPECT_EQ(readOne(f, 603, 9), 0x99u);     // r8..r12 shared outside FIQ
    EXPECT_EQ(readOne(f, 604, 9), 0u);        // FIQ has its own r8..r12
    EXPECT_EQ(readOne(f, 606, 13), 0x5C13u);  // Supervisor r13
    EXPECT_EQ(readOne(f, 603, 13), 0u);

    // Switching to FIQ mode through the CPSR switches the bank of group 600.
    ASSERT_EQ(f.ask(writeOne(604, 9, 0xF9)), statusBytes(0xB7, 0));
    ASSERT_EQ(f.ask(writeOne(601, 0, 0x1D1)), statusBytes(0xB7, 0));
    EXPECT_EQ(readOne(f, 600, 9), 0xF9u);
    EXPECT_EQ(readOne(f, 600, 3), 0x33u);

    // Each SPSR lives in its own group; the PC is 600:15.
    const uint16_t spsrGroups[] = {605, 607, 609, 611, 613};
    for (uint16_t g : spsrGroups) ASSERT_EQ(f.ask(writeOne(g, 0, g)), statusBytes(0xB7, 0));
    for (uint16_t g : spsrGroups) EXPECT_EQ(readOne(f, g, 0), g);
    ASSERT_EQ(f.ask(writeOne(600, 15, 0x8000)), statusBytes(0xB7, 0));
    EXPECT_EQ(be32(f.ask(Req(0xBC).u32(0).u32(0).u16(1)), 3), 0x8004u);

    // Several descriptors in one request answer their values in order.
    Bytes many = f.ask(Req(0xB6).u16(3).u16(601).u16(0).u16(600).u16(15).u16(614).u16(0));
    EXPECT_EQ(many,
              (Bytes{0xB6, 0, 0, 0, 3, 0, 0, 0x01, 0xD1, 0, 0, 0x80, 0x04, 0x41, 0, 0xB0, 0}));
}

TEST(FirmwareRegisters, CoprocessorAndPseudoRegisters) {
    FirmwareChat f;
    ASSERT_EQ(f.ask(writeOne(602, 31, 7)), statusBytes(0xB7, 0));
    EXPECT_EQ(readOne(f, 602, 31), 7u);
    ASSERT_EQ(f.ask(writeOne(614, 0x2001, 0xC0DE)), statusBytes(0xB7, 0));
    EXPECT_EQ(readOne(f, 614, 0x2001), 0xC0DEu);
    EXPECT_EQ(readOne(f, 614, 0x51AF), 0u);  // never written
    ASSERT_EQ(f.ask(writeOne(600, 8101, 8)), statusBytes(0xB7, 0));
    ASSERT_EQ(f.ask(writeOne(600, 8102, 0x1B)), statusBytes(0xB7, 0));
    EXPECT_EQ(readOne(f, 600, 8101), 8u);
    EXPECT_EQ(readOne(f, 600, 8102), 0x1Bu);
}

TEST(FirmwareRegisters, UnknownRegistersWrongLengthsAndStateAreRefused) {
    FirmwareChat f;
    const Bytes bad = statusBytes(0xB6, -2102);
    for (auto [g, n] :
         {std::pair{599, 0}, {615, 0}, {601, 1}, {603, 15}, {605, 1}, {602, 32}, {600, 16}}) {
        EXPECT_EQ(f.ask(Req(0xB6).u16(1).u16(uint16_t(g)).u16(uint16_t(n))), bad) << g << ":" << n;
    }
    EXPECT_EQ(f.ask(Req(0xB6).u16(2).u16(600).u16(0)), bad);
    EXPECT_EQ(f.ask(Req(0xB6)), bad);

    // A write list with one unknown register writes none of them.
    Bytes mixed = Req(0xB7).u16(2).u16(600).u16(0).u32(0x1234).u16(700).u16(0).u32(1);
    EXPECT_EQ(f.ask(mixed), statusBytes(0xB7, -2102));
    EXPECT_EQ(readOne(f, 600, 0), 0u);
    EXPECT_EQ(f.ask(Req(0xB7).u16(1).u16(600).u16(0)), statusBytes(0xB7, -2102));

    // Not in debug mode.
    f.ask(Req(0xBA));
    EXPECT_EQ(f.ask(Req(0xB6).u16(1).u16(600).u16(0)), statusBytes(0xB6, -2101));
    EXPECT_EQ(f.ask(writeOne(600, 0, 1)), statusBytes(0xB7, -2101));
    EXPECT_EQ(f.ask(Req(0xC4).u16(0).u16(0)), statusBytes(0xC4, -2101));
    EXPECT_EQ(f.ask(Req(0xC9).u16(0).u16(0).raw(Bytes(16))), statusBytes(0xC9, -2101));
}

TEST(FirmwareRegisters, FloatingPointAndVectorFiles) {
    FirmwareChat f;
    Bytes fp(16);
    for (size_t i = 0; i < fp.size(); ++i) fp[i] = uint8_t(i + 1);
    EXPECT_EQ(f.ask(Req(0xC5).u16(126).u16(127).raw(fp)), statusBytes(0xC5, 0));
    Bytes back = f.ask(Req(0xC4).u16(127).u16(127));
    EXPECT_EQ(back, Req(0xC4).u16(0).raw(Bytes(fp.begin() + 8, fp.end())).operator Bytes());
    EXPECT_EQ(f.ask(Req(0xC4).u16(0).u16(127)).size(), 3u + 1024u);

    Bytes vec(32, 0x5A);
    vec[16] = 0x01;
    EXPECT_EQ(f.ask(Req(0xC9).u16(62).u16(63).raw(vec)), statusBytes(0xC9, 0));
    EXPECT_EQ(f.ask(Req(0xC8).u16(63).u16(63)),
              Req(0xC8).u16(0).raw(Bytes(vec.begin() + 16, vec.end())).operator Bytes());
    EXPECT_EQ(f.ask(Req(0xC8).u16(0).u16(63)).size(), 3u + 1024u);

    // Ranges outside the files, reversed ranges, data of the wrong size.
    EXPECT_EQ(f.ask(Req(0xC4).u16(0).u16(128)), statusBytes(0xC4, -2102));
    EXPECT_EQ(f.ask(Req(0xC4).u16(5).u16(4)), statusBytes(0xC4, -2102));
    EXPECT_EQ(f.ask(Req(0xC8).u16(64).u16(64)), statusBytes(0xC8, -2102));
    EXPECT_EQ(f.ask(Req(0xC5).u16(0).u16(0).raw(Bytes(7))), statusBytes(0xC5, -2102));
    EXPECT_EQ(f.ask(Req(0xC9).u16(0).u16(0).raw(Bytes(17))), statusBytes(0xC9, -2102));
    EXPECT_EQ(f.ask(Req(0xC4).u16(0)), statusBytes(0xC4, -2102));
    // The refused write changed nothing.
    EXPECT_EQ(f.ask(Req(0xC8).u16(0).u16(0)), Req(0xC8).u16(0).raw(Bytes(16)).operator Bytes());
}

}  // namespace
}  // namespace tov::sim
