// Sparse target memory: the pattern of untouched words, writes across pages, the closed range.
#include <gtest/gtest.h>

#include <vector>

#include "sim/target_memory.h"

namespace tov::sim {
namespace {

// The word at an address, read in the order of the memory's target.
uint32_t wordAt(const TargetMemory& memory, uint32_t address, bool big = false) {
    uint8_t b[4];
    EXPECT_TRUE(memory.read(address, b));
    uint32_t word = 0;
    for (int i = 0; i < 4; ++i) word |= uint32_t{b[i]} << (8 * (big ? 3 - i : i));
    return word;
}

TEST(TargetMemory, UntouchedWordsReadAsTheirAddressXorTheKeyWithoutAllocating) {
    for (const bool big : {false, true}) {
        TargetMemory memory(0xFFF00000, 0xFFFFFFFF, big);
        for (uint32_t address : {0x0u, 0x1000u, 0x12345678u & ~3u, 0xFFEFFFFCu}) {
            EXPECT_EQ(wordAt(memory, address, big), address ^ 0xA5A5A5A5u) << std::hex << address;
        }
        EXPECT_EQ(memory.granulesMaterialized(), 0u);
        // A granule filled in on a write holds the same pattern around what was written.
        ASSERT_TRUE(memory.write(0x1004, std::vector<uint8_t>{7}));
        EXPECT_EQ(wordAt(memory, 0x1000, big), 0x1000u ^ 0xA5A5A5A5u);
    }
    // An unaligned read takes the bytes of the two words it straddles, each in the target's
    // order: 0xA5A5B5A5 then 0xA5A5B5A1, little-endian.
    TargetMemory memory(0xFFF00000, 0xFFFFFFFF);
    std::vector<uint8_t> b(4);
    ASSERT_TRUE(memory.read(0x1002, b));
    EXPECT_EQ(b, (std::vector<uint8_t>{0xA5, 0xA5, 0xA1, 0xB5}));
    EXPECT_EQ(b[0], TargetMemory::patternByte(0x1002));
    EXPECT_EQ(TargetMemory::patternByte(0x1002, true), 0xB5);
}

TEST(TargetMemory, WritesAcrossAPageBoundaryKeepTheirNeighbours) {
    TargetMemory memory(0xFFF00000, 0xFFFFFFFF);
    const std::vector<uint8_t> data{1, 2, 3, 4, 5, 6};
    ASSERT_TRUE(memory.write(0x1FFD, data));
    EXPECT_EQ(memory.granulesMaterialized(), 1u);
    std::vector<uint8_t> back(10);
    ASSERT_TRUE(memory.read(0x1FFB, back));
    EXPECT_EQ(back[0], TargetMemory::patternByte(0x1FFB));
    EXPECT_EQ(back[1], TargetMemory::patternByte(0x1FFC));
    EXPECT_EQ(std::vector<uint8_t>(back.begin() + 2, back.begin() + 8), data);
    EXPECT_EQ(back[8], TargetMemory::patternByte(0x2003));
    EXPECT_EQ(back[9], TargetMemory::patternByte(0x2004));
    // The rest of a freshly allocated page still shows the pattern.
    EXPECT_EQ(wordAt(memory, 0x1000), 0x1000u ^ 0xA5A5A5A5u);
    EXPECT_EQ(wordAt(memory, 0x2FFC), 0x2FFCu ^ 0xA5A5A5A5u);
}

TEST(TargetMemory, TheClosedRangeFailsWholeAndChangesNothing) {
    TargetMemory memory(0x8000, 0x8FFF);
    EXPECT_TRUE(memory.accessible(0x7FFC, 4));
    EXPECT_FALSE(memory.accessible(0x7FFE, 4));
    EXPECT_FALSE(memory.accessible(0x8FFF, 1));
    EXPECT_TRUE(memory.accessible(0x9000, 1));

    std::vector<uint8_t> out(4, 0xEE);
    EXPECT_FALSE(memory.read(0x7FFE, out));
    EXPECT_EQ(out, std::vector<uint8_t>(4, 0));

    EXPECT_FALSE(memory.write(0x7FFE, std::vector<uint8_t>{9, 9, 9, 9}));
    EXPECT_EQ(memory.granulesMaterialized(), 0u);
    EXPECT_EQ(wordAt(memory, 0x7FFC), 0x7FFCu ^ 0xA5A5A5A5u);

    // A range that wraps past the top of the address space reaches address 0.
    TargetMemory low(0x0, 0xFF);
    EXPECT_FALSE(low.accessible(0xFFFFFFFE, 4));
}

}  // namespace
}  // namespace tov::sim
