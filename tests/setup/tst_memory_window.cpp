// The memory editor's window: navigation at both ends of the address space and the entries in
// the target's byte order.
#include <gtest/gtest.h>

#include <array>

#include "setup/memory_window.h"

namespace tov::setup {
namespace {

TEST(MemoryWindow, NavigationStopsAtBothEnds) {
    EXPECT_EQ(windowStartFor(0x12345678), 0x12345670u);
    EXPECT_EQ(windowStartFor(0xFFFFFFF4), 0xFFFFFF80u);
    EXPECT_EQ(windowStartFor(0xFFFFFF8F), 0xFFFFFF80u);

    EXPECT_EQ(lineUp(0), 0u);
    EXPECT_EQ(lineUp(0x20), 0x10u);
    EXPECT_EQ(lineDown(0xFFFFFF80), 0xFFFFFF80u);
    EXPECT_EQ(lineDown(0xFFFFFF70), 0xFFFFFF80u);
    EXPECT_EQ(pageUp(0x70), 0u);
    EXPECT_EQ(pageUp(0x1000), 0xF80u);
    EXPECT_EQ(pageDown(0x1000), 0x1080u);
    EXPECT_EQ(pageDown(0xFFFFFF10), 0xFFFFFF80u);
    EXPECT_EQ(pageDown(0xFFFFFF80), 0xFFFFFF80u);
    // A start past the last whole window (left by no navigation) is not pulled back by paging.
    EXPECT_EQ(pageDown(0xFFFFFF90), 0xFFFFFF90u);

    EXPECT_EQ(thumbReleased(0x5000, 0), 0u);
    EXPECT_EQ(thumbReleased(0x5000, 50), (50u * kScrollScale) & ~15u);
    EXPECT_EQ(thumbReleased(0x5000, 100), 0xFFFFFF80u);
    EXPECT_EQ(scrollPosition(0xFFFFFF80), 99);  // the scale is rounded down
    EXPECT_EQ(scrollPosition(0x12345670), 0x12345670 / 42949672);
}

TEST(MemoryWindow, EntriesFillColumnByColumnInByteOrder) {
    std::array<uint8_t, kWindowBytes> bytes{};
    bytes[0] = 0x12;
    bytes[1] = 0x34;
    bytes[2] = 0x56;
    bytes[3] = 0x78;
    bytes[16] = 0xAB;  // row 1

    const auto bigLongs = windowEntries(bytes, 4, true);
    ASSERT_EQ(bigLongs.size(), 32u);
    EXPECT_EQ(bigLongs[0], " 12345678");
    EXPECT_EQ(bigLongs[1], " AB000000");  // entry 1 is row 1, column 0
    EXPECT_EQ(windowEntries(bytes, 4, false)[0], " 78563412");

    const auto bigWords = windowEntries(bytes, 2, true);
    ASSERT_EQ(bigWords.size(), 64u);
    EXPECT_EQ(bigWords[0], " 1234");
    EXPECT_EQ(bigWords[8], " 5678");  // column 1, row 0
    const auto littleWords = windowEntries(bytes, 2, false);
    EXPECT_EQ(littleWords[0], " 3412");
    EXPECT_EQ(littleWords[8], " 7856");

    const auto byteEntries = windowEntries(bytes, 1, false);
    ASSERT_EQ(byteEntries.size(), 128u);
    EXPECT_EQ(byteEntries[8], " 34");
    EXPECT_EQ(byteEntries[1], " AB");

    EXPECT_EQ(entryAddress(0x1000, 2, 9), 0x1012u);
    EXPECT_EQ(rowAddresses(0xFFFFFF80).back(), " FFFFFFF0");
    EXPECT_TRUE(windowEntries(std::span(bytes).first(16), 1, true).empty());
}

}  // namespace
}  // namespace tov::setup
