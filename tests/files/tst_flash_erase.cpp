// Host-driven flash erase on the wire: unlock addresses and lane values on every bus width, the
// status rules of both command sets, time limits in virtual time, and the read-mode sequences.
#include <gtest/gtest.h>

#include "link/error_codes.h"
#include "tests/files/flash_wire_probe.h"

namespace tov::test {
namespace {

BusAccess wr(uint32_t address, int width, uint64_t value) {
    return {'W', address, width, value};
}
BusAccess rd(uint32_t address, int width, uint64_t value) {
    return {'R', address, width, value};
}

// The writes of the accesses, in order.
std::vector<BusAccess> writes(const std::vector<BusAccess>& accesses) {
    std::vector<BusAccess> out;
    for (const BusAccess& a : accesses) {
        if (a.kind == 'W') out.push_back(a);
    }
    return out;
}

// A chip that answers the values in turn at `sector` and keeps the last one.
std::function<uint64_t(uint32_t, int)> answers(uint32_t sector, std::vector<uint64_t> values) {
    auto next = std::make_shared<size_t>(0);
    return [=](uint32_t address, int) {
        EXPECT_EQ(address, sector);
        uint64_t v = values[std::min(*next, values.size() - 1)];
        ++*next;
        return v;
    };
}

TEST(FlashEraseCommandSetA, SectorEraseOnA32BitBusIsWireExact) {
    FlashWireProbe probe;
    ASSERT_EQ(probe.session.flashSetType(2, 0x80000, 32, 0), 0);
    probe.chip = answers(0x00210000, {0x80808080, 0xFFFFFFFF});
    ASSERT_EQ(probe.session.flashEraseSector(0x00210000), 0);
    const std::vector<Bytes> expected = {
        hexBytes("03 00215554 AAAAAAAA"), hexBytes("03 0020AAA8 55555555"),
        hexBytes("03 00215554 80808080"), hexBytes("03 00215554 AAAAAAAA"),
        hexBytes("03 0020AAA8 55555555"), hexBytes("03 00210000 30303030"),
        hexBytes("07 00210000"),          hexBytes("07 00210000"),
        hexBytes("03 00215554 AAAAAAAA"), hexBytes("03 0020AAA8 55555555"),
        hexBytes("03 00215554 F0F0F0F0"),
    };
    ASSERT_EQ(probe.link.sent.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(probe.link.sent[i].message, expected[i]) << "request " << i;
    }
}

TEST(FlashEraseCommandSetA, UnlockAddressesFollowTheBusWidth) {
    struct Case {
        uint16_t type;
        uint16_t bits;
        uint32_t first, second;
        uint64_t aa, lanes55;
    };
    // Bank of chip size 0x80000 per chip; the sector 0x00090000 lies in the bank at 0 or 0x80000.
    const Case cases[] = {
        {2, 8, 0x00085555, 0x00082AAA, 0xAA, 0x55},
        {31, 16, 0x0000AAAA, 0x00005554, 0xAAAA, 0x5555},
        {2, 32, 0x00015554, 0x0000AAA8, 0xAAAAAAAA, 0x55555555},
        {31, 64, 0x0002AAA8, 0x00015550, 0xAAAAAAAAAAAAAAAA, 0x5555555555555555},
        {11, 8, 0x0008AAAA, 0x00085555, 0xAA, 0x55},
        {12, 16, 0x0008AAAA, 0x00085554, 0xAAAA, 0x5555},
        {35, 32, 0x0002AAA8, 0x00015554, 0xAAAAAAAA, 0x55555555},
        {36, 32, 0x00095554, 0x0008AAA8, 0xAAAAAAAA, 0x55555555},
        {32, 64, 0x00055550, 0x0002AAA8, 0xAAAAAAAAAAAAAAAA, 0x5555555555555555},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << " bus " << c.bits);
        FlashWireProbe probe;
        ASSERT_EQ(probe.session.flashSetType(c.type, 0x80000, c.bits, 0), 0);
        const int w = c.bits / 8;
        const uint64_t ones = w == 8 ? ~uint64_t{0} : (uint64_t{1} << c.bits) - 1;
        const uint64_t lane = ones / 0xFF;
        ASSERT_EQ(probe.session.flashErase(2, 0x00090000), 0);
        const std::vector<BusAccess> expected = {
            wr(c.first, w, c.aa),        wr(c.second, w, c.lanes55), wr(c.first, w, lane * 0x80),
            wr(c.first, w, c.aa),        wr(c.second, w, c.lanes55), wr(c.first, w, lane * 0x10),
            rd(0x00090000, w, ones),     wr(c.first, w, c.aa),       wr(c.second, w, c.lanes55),
            wr(c.first, w, lane * 0xF0),
        };
        EXPECT_EQ(probe.accesses, expected);
    }
}

TEST(FlashEraseCommandSetA, SixtyFourBitBusUsesEightByteMemoryAccesses) {
    FlashWireProbe probe;
    ASSERT_EQ(probe.session.flashSetType(2, 0x80000, 64, 0), 0);
    ASSERT_EQ(probe.session.flashEraseSector(0x00410000), 0);
    EXPECT_EQ(probe.link.sent[0].message, hexBytes("B9 0042AAA8 0000 0008 AAAAAAAAAAAAAAAA"));
    EXPECT_EQ(probe.link.sent[1].message, hexBytes("B9 00415550 0000 0008 5555555555555555"));
    EXPECT_EQ(probe.link.sent[5].message, hexBytes("B9 00410000 0000 0008 3030303030303030"));
    EXPECT_EQ(probe.link.sent[6].message, hexBytes("B8 00410000 0000 0008"));
    EXPECT_EQ(probe.link.sent.size(), 10u);

    // The failure bit is looked at per chip: the seventh chip reports it and is not done.
    FlashWireProbe failing;
    ASSERT_EQ(failing.session.flashSetType(2, 0x80000, 64, 0), 0);
    failing.chip = answers(0x00410000, {0xFF20FFFFFFFFFFFF, 0xFF24FFFFFFFFFFFF});
    EXPECT_EQ(failing.session.flashEraseSector(0x00410000), link::kEraseFailed);
    EXPECT_EQ(failing.reads(), 2u);
    EXPECT_EQ(writes(failing.accesses).back(), wr(0x0042AAA8, 8, 0xF0F0F0F0F0F0F0F0));
}

TEST(FlashEraseCommandSetA, FailureBitRuleIsAppliedPerChip) {
    {
        // One byte chip keeps bit 5 set without reading 0xFF: failed on the next poll, and the
        // chip is still put back into read mode.
        FlashWireProbe probe;
        ASSERT_EQ(probe.session.flashSetType(2, 0x80000, 8, 0), 0);
        probe.chip = answers(0x1000, {0x20});
        EXPECT_EQ(probe.session.flashEraseSector(0x1000), link::kEraseFailed);
        EXPECT_EQ(probe.reads(), 2u);
        const std::vector<BusAccess> all = probe.accesses;
        ASSERT_GE(all.size(), 3u);
        EXPECT_EQ(std::vector<BusAccess>(all.end() - 3, all.end()),
                  (std::vector<BusAccess>{wr(0x5555, 1, 0xAA), wr(0x2AAA, 1, 0x55),
                                          wr(0x5555, 1, 0xF0)}));
    }
    {
        // Bit 5 that ends in an erased chip is no failure, nor is a busy chip without it.
        FlashWireProbe probe;
        ASSERT_EQ(probe.session.flashSetType(2, 0x80000, 32, 0), 0);
        probe.chip = answers(0x1000, {0xFFFF2000, 0xFFFFFF00, 0xFFFFFF44, 0xFFFFFFFF});
        EXPECT_EQ(probe.session.flashEraseSector(0x1000), 0);
        EXPECT_EQ(probe.reads(), 4u);
    }
    {
        // Word chips: bit 5 of the second chip's low byte, the chip not erased afterwards.
        FlashWireProbe probe;
        ASSERT_EQ(probe.session.flashSetType(12, 0x80000, 32, 0), 0);
        probe.chip = answers(0x1000, {0x0020FFFF, 0x0000FFFF});
        EXPECT_EQ(probe.session.flashEraseSector(0x1000), link::kEraseFailed);
        EXPECT_EQ(probe.reads(), 2u);
        // Bit 5 in the high byte of a word chip is data, not status.
        FlashWireProbe other;
        ASSERT_EQ(other.session.flashSetType(12, 0x80000, 32, 0), 0);
        other.chip = answers(0x1000, {0x2000FFFF, 0x2000FFFF, 0xFFFFFFFF});
        EXPECT_EQ(other.session.flashEraseSector(0x1000), 0);
        EXPECT_EQ(other.reads(), 3u);
    }
}

TEST(FlashEraseCommandSetA, TimeLimitsRunInVirtualTime) {
    FlashWireProbe probe;
    ASSERT_EQ(probe.session.flashSetType(2, 0x80000, 16, 0), 0);
    probe.chip = [](uint32_t, int) { return uint64_t{0x0000}; };
    probe.msPerRead = 1000;
    EXPECT_EQ(probe.session.flashEraseSector(0x2000), link::kEraseFailed);
    // More than 60 s after the start, one read per virtual second.
    EXPECT_GE(probe.reads(), 61u);
    EXPECT_LE(probe.reads(), 62u);
    EXPECT_EQ(writes(probe.accesses).back(), wr(0xAAAA, 2, 0xF0F0));

    FlashWireProbe chip;
    ASSERT_EQ(chip.session.flashSetType(2, 0x80000, 16, 0), 0);
    chip.chip = [](uint32_t, int) { return uint64_t{0x0000}; };
    chip.msPerRead = 1000;
    EXPECT_EQ(chip.session.flashErase(2, 0x2000), link::kEraseFailed);
    EXPECT_GE(chip.reads(), 301u);
    EXPECT_LE(chip.reads(), 302u);

    // A chip that finishes just before the limit is fine.
    FlashWireProbe slow;
    ASSERT_EQ(slow.session.flashSetType(2, 0x80000, 16, 0), 0);
    slow.chip = [&slow](uint32_t, int) { return uint64_t{slow.reads() >= 59 ? 0xFFFFu : 0x0000u}; };
    slow.msPerRead = 1000;
    EXPECT_EQ(slow.session.flashEraseSector(0x2000), 0);
}

TEST(FlashEraseCommandSetA, AccessErrorEndsTheEraseButNotTheResetSequence) {
    FlashWireProbe probe;
    ASSERT_EQ(probe.session.flashSetType(2, 0x80000, 8, 0), 0);
    probe.chip = answers(0x3000, {0x00});
    probe.badReadAfter = 1;
    EXPECT_EQ(probe.session.flashEraseSector(0x3000), link::kInvalidResponse);
    EXPECT_EQ(probe.reads(), 1u);
    EXPECT_EQ(writes(probe.accesses).back(), wr(0x5555, 1, 0xF0));

    // A write whose echo differs stops the command sequence at once; read mode follows.
    FlashWireProbe refused;
    ASSERT_EQ(refused.session.flashSetType(2, 0x80000, 8, 0), 0);
    refused.badEchoAt = 2;
    EXPECT_EQ(refused.session.flashEraseSector(0x3000), link::kTargetWriteFailed);
    const std::vector<BusAccess> expected = {
        wr(0x5555, 1, 0xAA), wr(0x2AAA, 1, 0x55), wr(0x5555, 1, 0x80),
        wr(0x5555, 1, 0xAA), wr(0x2AAA, 1, 0x55), wr(0x5555, 1, 0xF0),
    };
    EXPECT_EQ(refused.accesses, expected);
}

TEST(FlashErasePlainPoll, BlockVariantAndNoResetSequence) {
    FlashWireProbe probe;
    ASSERT_EQ(probe.session.flashSetType(22, 0x80000, 8, 0), 0);
    probe.chip = answers(0x4000, {0x20, 0x20, 0xFF});
    ASSERT_EQ(probe.session.flashErase(1, 0x4000), 0);
    const std::vector<BusAccess> expected = {
        wr(0x5555, 1, 0xAA), wr(0x2AAA, 1, 0x55), wr(0x5555, 1, 0x80),
        wr(0x5555, 1, 0xAA), wr(0x2AAA, 1, 0x55), wr(0x4000, 1, 0x50),
        rd(0x4000, 1, 0x20), rd(0x4000, 1, 0x20), rd(0x4000, 1, 0xFF),
    };
    EXPECT_EQ(probe.accesses, expected);

    // Type 23 on its own addresses; word chips of type 24 on a 16-bit bus; mode 0 is a sector.
    FlashWireProbe other;
    ASSERT_EQ(other.session.flashSetType(23, 0x80000, 8, 0), 0);
    ASSERT_EQ(other.session.flashErase(0, 0x4000), 0);
    EXPECT_EQ(other.accesses[0], wr(0xAAAA, 1, 0xAA));
    EXPECT_EQ(other.accesses[1], wr(0x5555, 1, 0x55));
    EXPECT_EQ(other.accesses[5], wr(0x4000, 1, 0x30));
    FlashWireProbe word;
    ASSERT_EQ(word.session.flashSetType(24, 0x80000, 16, 0), 0);
    ASSERT_EQ(word.session.flashErase(1, 0x4000), 0);
    EXPECT_EQ(word.accesses[0], wr(0xAAAA, 2, 0xAAAA));
    EXPECT_EQ(word.accesses[5], wr(0x4000, 2, 0x5050));

    // Only the time limit ends a chip that stays busy; still no reset sequence.
    FlashWireProbe busy;
    ASSERT_EQ(busy.session.flashSetType(22, 0x80000, 8, 0), 0);
    busy.chip = [](uint32_t, int) { return uint64_t{0x20}; };
    busy.msPerRead = 5000;
    EXPECT_EQ(busy.session.flashEraseSector(0x4000), link::kEraseFailed);
    EXPECT_GE(busy.reads(), 13u);
    EXPECT_LE(busy.reads(), 14u);
    EXPECT_EQ(writes(busy.accesses).size(), 6u);
}

TEST(FlashEraseAlternatingPoll, ReadsTheNeighbourThenTheSector) {
    FlashWireProbe probe;
    ASSERT_EQ(probe.session.flashSetType(37, 0x80000, 16, 0), 0);
    int polls = 0;
    probe.chip = [&polls](uint32_t address, int) -> uint64_t {
        if (address == 0x5004) return 0x4444;
        EXPECT_EQ(address, 0x5000u);
        return ++polls < 3 ? 0x0040 : 0xFFFF;
    };
    ASSERT_EQ(probe.session.flashEraseSector(0x5000), 0);
    const std::vector<BusAccess> expected = {
        wr(0x15554, 2, 0xAAAA), wr(0xAAAA, 2, 0x5555), wr(0x15554, 2, 0x8080),
        wr(0x15554, 2, 0xAAAA), wr(0xAAAA, 2, 0x5555), wr(0x5000, 2, 0x3030),
        rd(0x5004, 2, 0x4444),  rd(0x5000, 2, 0x0040), rd(0x5004, 2, 0x4444),
        rd(0x5000, 2, 0x0040),  rd(0x5004, 2, 0x4444), rd(0x5000, 2, 0xFFFF),
        wr(0x15554, 2, 0xAAAA), wr(0xAAAA, 2, 0x5555), wr(0x15554, 2, 0xF0F0),
    };
    EXPECT_EQ(probe.accesses, expected);

    // Long-word chips are not served on a 16-bit bus: nothing happens.
    FlashWireProbe narrow;
    ASSERT_EQ(narrow.session.flashSetType(38, 0x80000, 16, 0), 0);
    EXPECT_EQ(narrow.session.flashErase(2, 0x5000), 0);
    EXPECT_TRUE(narrow.link.sent.empty());

    // On 32 bits they are, and the time limit ends a chip that never finishes.
    FlashWireProbe wide;
    ASSERT_EQ(wide.session.flashSetType(38, 0x80000, 32, 0), 0);
    wide.chip = [](uint32_t, int) { return uint64_t{0x00200020}; };
    wide.msPerRead = 1000;
    EXPECT_EQ(wide.session.flashEraseSector(0x5000), link::kEraseFailed);
    EXPECT_EQ(wide.accesses[0], wr(0x15554, 4, 0xAAAAAAAA));
    EXPECT_GE(wide.reads(), 61u);
    EXPECT_LE(wide.reads(), 62u);
    EXPECT_EQ(writes(wide.accesses).back(), wr(0x15554, 4, 0xF0F0F0F0));
}

TEST(FlashEraseCommandSetB, ErasesTheSectorOnlyWithTheCommandInEachChip) {
    FlashWireProbe probe;
    ASSERT_EQ(probe.session.flashSetType(5, 0x80000, 8, 0), 0);
    probe.chip = answers(0x6000, {0x00, 0x80});
    // A chip erase request still erases only the sector.
    ASSERT_EQ(probe.session.flashErase(2, 0x6000), 0);
    const std::vector<BusAccess> expected = {
        wr(0x6000, 1, 0x20), wr(0x6000, 1, 0xD0), rd(0x6000, 1, 0x00), rd(0x6000, 1, 0x80),
        wr(0x6000, 1, 0x50), wr(0x6000, 1, 0xFF), rd(0x6000, 1, 0x80),
    };
    EXPECT_EQ(probe.accesses, expected);

    FlashWireProbe word;
    ASSERT_EQ(word.session.flashSetType(6, 0x80000, 16, 0), 0);
    word.chip = [](uint32_t, int) { return uint64_t{0x0080}; };
    ASSERT_EQ(word.session.flashEraseSector(0x6000), 0);
    EXPECT_EQ(word.link.sent[0].message, hexBytes("02 00006000 0020"));
    EXPECT_EQ(word.link.sent[1].message, hexBytes("02 00006000 00D0"));

    FlashWireProbe words;
    ASSERT_EQ(words.session.flashSetType(30, 0x80000, 32, 0), 0);
    words.chip = answers(0x6000, {0x00800000, 0x00800080});
    ASSERT_EQ(words.session.flashErase(1, 0x6000), 0);
    const std::vector<BusAccess> wordsExpected = {
        wr(0x6000, 4, 0x00200020), wr(0x6000, 4, 0x00D000D0), rd(0x6000, 4, 0x00800000),
        rd(0x6000, 4, 0x00800080), wr(0x6000, 4, 0x00500050), wr(0x6000, 4, 0x00FF00FF),
        rd(0x6000, 4, 0x00800080),
    };
    EXPECT_EQ(words.accesses, wordsExpected);

    FlashWireProbe bytes;
    ASSERT_EQ(bytes.session.flashSetType(29, 0x80000, 32, 0), 0);
    bytes.chip = [](uint32_t, int) { return uint64_t{0x80808080}; };
    ASSERT_EQ(bytes.session.flashEraseSector(0x6000), 0);
    EXPECT_EQ(bytes.accesses[0], wr(0x6000, 4, 0x20202020));
}

TEST(FlashEraseCommandSetB, StatusErrorsAndTimeLimit) {
    for (uint8_t bit : {0x08, 0x10, 0x20, 0x40}) {
        FlashWireProbe probe;
        ASSERT_EQ(probe.session.flashSetType(29, 0x80000, 32, 0), 0);
        probe.chip = answers(0x7000, {0x80808080u | (uint32_t{bit} << 16)});
        EXPECT_EQ(probe.session.flashEraseSector(0x7000), link::kEraseFailed) << int{bit};
        EXPECT_EQ(writes(probe.accesses).back(), wr(0x7000, 4, 0xFFFFFFFF));
        EXPECT_EQ(probe.accesses.back().kind, 'R');
    }
    // Bits outside the chips' low bytes are not status.
    FlashWireProbe high;
    ASSERT_EQ(high.session.flashSetType(30, 0x80000, 32, 0), 0);
    high.chip = answers(0x7000, {0x78807880});
    EXPECT_EQ(high.session.flashEraseSector(0x7000), 0);

    // One chip never gets ready: 60 s even for a chip erase request.
    FlashWireProbe busy;
    ASSERT_EQ(busy.session.flashSetType(5, 0x80000, 16, 0), 0);
    busy.chip = [](uint32_t, int) { return uint64_t{0x8000}; };
    busy.msPerRead = 2000;
    EXPECT_EQ(busy.session.flashErase(2, 0x7000), link::kEraseFailed);
    EXPECT_GE(busy.reads(), 31u + 1u);
    EXPECT_LE(busy.reads(), 32u + 1u);
    EXPECT_EQ(writes(busy.accesses).back(), wr(0x7000, 2, 0xFFFF));
}

TEST(FlashErase, AnEraseWhoseChipsStayOutOfReadModeFails) {
    // Set A: the erase itself ends well, the last write of the reset sequence is refused.
    FlashWireProbe a;
    ASSERT_EQ(a.session.flashSetType(2, 0x80000, 8, 0), 0);
    a.chip = answers(0x3000, {0xFF});
    a.badEchoAt = 8;
    EXPECT_EQ(a.session.flashEraseSector(0x3000), link::kTargetWriteFailed);
    EXPECT_EQ(writes(a.accesses).back(), wr(0x5555, 1, 0xF0));
    // Set B: ready without errors, but the read-array command is refused.
    FlashWireProbe b;
    ASSERT_EQ(b.session.flashSetType(5, 0x80000, 8, 0), 0);
    b.chip = answers(0x3000, {0x80});
    b.badEchoAt = 3;
    EXPECT_EQ(b.session.flashEraseSector(0x3000), link::kTargetWriteFailed);
    EXPECT_EQ(b.accesses.back(), wr(0x3000, 1, 0xFF));
}

TEST(FlashErase, TypesWithoutAnEraseAreRejected) {
    FlashWireProbe fresh;
    EXPECT_EQ(fresh.session.flashEraseSector(0x1000), link::kInvalidParameter);
    FlashWireProbe probe;
    ASSERT_EQ(probe.session.flashSetType(34, 0x80000, 32, 0), 0);
    EXPECT_EQ(probe.session.flashEraseSector(0x1000), link::kInvalidParameter);
    EXPECT_EQ(probe.session.flashErase(2, 0x1000), link::kInvalidParameter);
    EXPECT_TRUE(probe.link.sent.empty());
    EXPECT_TRUE(fresh.link.sent.empty());
}

TEST(PagedFlashErase, ChipTypesAreErasedByTheHostAfterSetWriteMode) {
    FlashWireProbe probe;
    ASSERT_EQ(probe.session.flashSetupHC12(2, 2, 8, 0x40000, 0), 0);
    ASSERT_EQ(probe.session.flashEraseHC12(0x00010000, 7), 0);
    ASSERT_EQ(probe.sentWith(0x8D).size(), 1u);
    EXPECT_EQ(probe.sentWith(0x8D)[0], hexBytes("8D 00 02 00000000 00000000 00000002"));
    EXPECT_TRUE(probe.sentWith(0x90).empty());
    // The command set A sector erase: unlock at the chip's command addresses in the bank.
    ASSERT_GE(probe.accesses.size(), 6u);
    EXPECT_EQ(probe.accesses[0], (BusAccess{'W', 0x5555, 1, 0xAA}));
    EXPECT_EQ(probe.accesses[5], (BusAccess{'W', 0x10000, 1, 0x30}));
    // The Set write mode goes out before the first bus access.
    EXPECT_EQ(probe.link.sent[1].message[0], 0x8D);
}

}  // namespace
}  // namespace tov::test
