// The flash banks as the probe's requests reach them: single items and memory pieces routed to
// the chips, the probe's own erase (0x90/0x91), and the options that lay out the banks.
#include <gtest/gtest.h>

#include <thread>

#include "sim/firmware_flash_erase.h"
#include "sim/sim_options.h"
#include "tests/sim/firmware_chat.h"

namespace tov::sim {
namespace {

using namespace std::chrono_literals;

SimOptions quickFlash() {
    SimOptions o;
    o.flashTiming = FlashTiming{20ms, 60ms};
    return o;
}

// The probe's erase request: type, sector flag, address, workspace.
Bytes eraseRequest(uint8_t type, bool sector, uint32_t address, uint32_t workspace = 0x1000) {
    return Req(0x90).u8(type).u8(sector ? 1 : 0).u32(0).u32(address).u32(workspace).u32(0);
}

TEST(FirmwareFlash, SingleItemsAndPiecesReachTheChips) {
    FirmwareChat f(quickFlash());
    // The default bank of byte chips on a 32-bit bus: a command write echoes what was written,
    // as a read-back would be a poll of its own.
    const uint32_t s = 0x20010000;
    Bytes data{0x12, 0x34, 0x56, 0x78};
    ASSERT_EQ(f.probe.flash().program(s, data.data(), 4), 0u);
    EXPECT_EQ(f.ask(Req(0x07).u32(s)), (Bytes{0x43, 0x12, 0x34, 0x56, 0x78}));
    const std::pair<uint32_t, uint8_t> cycles[] = {
        {0x15554, 0xAA}, {0xAAA8, 0x55}, {0x15554, 0x80}, {0x15554, 0xAA}, {0xAAA8, 0x55}};
    for (auto [offset, byte] : cycles) {
        const uint32_t value = byte * 0x01010101u;
        const Bytes echo = f.ask(Req(0x03).u32(0x20000000 + offset).u32(value));
        EXPECT_EQ(echo, (Bytes{0x43, byte, byte, byte, byte}));
    }
    f.ask(Req(0x03).u32(s).u32(0x30303030));
    const Bytes status = f.ask(Req(0x07).u32(s));
    for (size_t lane = 1; lane <= 4; ++lane) EXPECT_EQ(status.at(lane) & 0x80, 0);
    std::this_thread::sleep_for(40ms);
    EXPECT_EQ(f.ask(Req(0x07).u32(s)), (Bytes{0x43, 0xFF, 0xFF, 0xFF, 0xFF}));

    // A memory piece across the bank's start: plain memory, then the array.
    f.ask(Req(0xB9).u32(0x1FFFFFFC).u16(0).u16(4).raw({1, 2, 3, 4}));
    EXPECT_EQ(f.ask(Req(0xB8).u32(0x1FFFFFFC).u16(0).u16(8)),
              (Bytes{0xB8, 0, 0, 1, 2, 3, 4, 0xFF, 0xFF, 0xFF, 0xFF}));
    // The set-B bank on a 64-bit write: four 16-bit bus accesses to its one word chip.
    f.ask(Req(0xB9).u32(0x30020000).u16(0).u16(4).raw({0x00, 0x20, 0x00, 0xD0}));
    EXPECT_EQ(f.ask(Req(0x06).u32(0x30020000)), (Bytes{0x42, 0x00, 0x00}));
    std::this_thread::sleep_for(40ms);
    EXPECT_EQ(f.ask(Req(0x06).u32(0x30020000)), (Bytes{0x42, 0x00, 0x80}));
}

TEST(FirmwareFlash, ProbeEraseRunsOnTheChipsAndReportsFailures) {
    SimOptions o = quickFlash();
    o.flashFailErase = {0x20080000};
    FirmwareChat f(o);
    Bytes data(16, 0x00);
    ASSERT_EQ(f.probe.flash().program(0x20040000, data.data(), 16), 0u);
    ASSERT_EQ(f.probe.flash().program(0x30050000, data.data(), 16), 0u);

    EXPECT_EQ(f.ask(eraseRequest(39, true, 0x20040004)), (Bytes{0x90, 0}));
    // The erase runs: the chips answer status meanwhile.
    EXPECT_EQ(f.ask(Req(0x07).u32(0x20040000)).at(1) & 0x80, 0);
    EXPECT_EQ(f.ask(Req(0x91)), (Bytes{0x91, 0, 0, 0, 0, 0}));
    EXPECT_EQ(be32(f.ask(Req(0x07).u32(0x20040000)), 1), 0xFFFFFFFFu);  // back in read-array

    EXPECT_EQ(f.ask(eraseRequest(40, true, 0x20080010)), (Bytes{0x90, 0}));
    EXPECT_EQ(f.ask(Req(0x91)), (Bytes{0x91, 1, 0x20, 0x08, 0x00, 0x00}));
    EXPECT_EQ(f.ask(Req(0x91)), (Bytes{0x91, 1, 0x20, 0x08, 0x00, 0x00}));  // kept until the next
    // The chips were reset after the failure: the array reads, not the status.
    uint8_t array[4];
    f.probe.flash().readArray(0x20080000, array, 4);
    EXPECT_EQ(f.ask(Req(0x07).u32(0x20080000)),
              (Bytes{0x43, array[0], array[1], array[2], array[3]}));

    // A whole set-B chip, erased block by block.
    EXPECT_EQ(f.ask(eraseRequest(41, false, 0x30000000)), (Bytes{0x90, 0}));
    EXPECT_EQ(f.ask(Req(0x91)), (Bytes{0x91, 0, 0, 0, 0, 0}));
    EXPECT_EQ(be16(f.ask(Req(0x06).u32(0x30050000)), 1), 0xFFFF);

    // Refusals: no bank there, a type the host erases itself, no workspace, a short request.
    EXPECT_EQ(f.ask(eraseRequest(39, true, 0x10000000)), (Bytes{0x90, 4}));
    EXPECT_EQ(f.ask(eraseRequest(2, true, 0x20000000)), (Bytes{0x90, 1}));
    EXPECT_EQ(f.ask(eraseRequest(39, true, 0x20000000, 0xFFF00000)), (Bytes{0x90, 3}));
    EXPECT_EQ(f.ask(eraseRequest(39, true, 0x20000000, 0x20000000)), (Bytes{0x90, 3}));
    EXPECT_EQ(f.ask(Req(0x90).u8(39).u8(1)), (Bytes{0x90, 4}));
    EXPECT_EQ(f.ask(Req(0x91).u8(0)), (Bytes{0x00}));
}

TEST(FirmwareFlash, OptionsLayOutTheBanks) {
    auto parse = [](std::vector<std::string> args) {
        args.insert(args.begin(), {"--udp", "127.0.0.9"});
        return parseCommandLine(args);
    };
    ParsedCommandLine p = parse({});
    ASSERT_EQ(p.error, "");
    EXPECT_EQ(p.options.flashBanks.size(), 2u);

    p = parse({"--flash-bank", "0x00200000,A5555,0x80000,32,8",
               "--flash-bank=0x01000000,B,"
               "0x200000,64,16,0x20000",
               "--flash-fail-erase", "0x00210000", "--flash-fail-erase=0x01020000"});
    ASSERT_EQ(p.error, "");
    ASSERT_EQ(p.options.flashBanks.size(), 2u);
    const FlashBankConfig& b = p.options.flashBanks[1];
    EXPECT_EQ(b.base, 0x01000000u);
    EXPECT_EQ(b.commandSet, FlashCommandSet::B);
    EXPECT_EQ(b.chipSize, 0x200000u);
    EXPECT_EQ(b.busBits, 64);
    EXPECT_EQ(b.chipBits, 16);
    EXPECT_EQ(b.chipSectorSize(), 0x20000u);
    EXPECT_EQ(p.options.flashFailErase, (std::vector<uint32_t>{0x00210000, 0x01020000}));

    for (const char* bad : {"0x0,A5555,0x80000,32", "0x0,C,0x80000,32,8", "0x0,B,0x80000,24,8",
                            "0x0,B,0x80000,8,16", "0x0,B,zero,8,8", "0x0,B,0x30000,8,8,0x20000",
                            "0x0,B,0x80000000,8,8,1"}) {
        EXPECT_NE(parse({"--flash-bank", bad}).error, "") << bad;
    }
    EXPECT_NE(
        parse({"--flash-bank", "0x0,B,0x100000,8,8", "--flash-bank", "0x80000,B,0x100000,8,8"})
            .error,
        "");
    EXPECT_NE(parse({"--flash-fail-erase", "0x10000000"}).error, "");
    EXPECT_NE(parse({"--flash-fail-erase", "nowhere"}).error, "");
    EXPECT_NE(usageText().find("--flash-bank"), std::string::npos);
}

}  // namespace
}  // namespace tov::sim
