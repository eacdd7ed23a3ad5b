// How a watched range is laid onto the probe's comparators.
#include <gtest/gtest.h>

#include "gdb/points.h"

namespace tov::gdb {
namespace {

TEST(GdbWatchCover, SizedWhereExactMaskedOverTheSmallestAlignedRegionElseRefused) {
    std::string why;
    auto cover = watchCover(0x1002, 2, why);
    ASSERT_TRUE(cover);
    EXPECT_EQ(cover->mode, 0x40);
    EXPECT_EQ(cover->address, 0x1002u);
    EXPECT_EQ(cover->bound, 2u);
    // 12 bytes inside one 16-byte block; 8 bytes across a 16-byte boundary need 32.
    cover = watchCover(0x1004, 12, why);
    ASSERT_TRUE(cover);
    EXPECT_EQ(cover->mode, 0x80);
    EXPECT_EQ(cover->address, 0x1000u);
    EXPECT_EQ(cover->bound, 0xFu);
    cover = watchCover(0x100C, 8, why);
    ASSERT_TRUE(cover);
    EXPECT_EQ(cover->address, 0x1000u);
    EXPECT_EQ(cover->bound, 0x1Fu);
    cover = watchCover(0x10000, 0x10000, why);
    ASSERT_TRUE(cover);
    EXPECT_EQ(cover->bound, 0xFFFFu);
    // 32 bytes across a 1-MiB boundary, past the top of memory, or none at all.
    EXPECT_FALSE(watchCover(0xFFFF0, 0x20, why));
    EXPECT_NE(why.find("0x200000 bytes"), std::string::npos) << why;
    EXPECT_FALSE(watchCover(0xFFFFFFFC, 8, why));
    EXPECT_FALSE(watchCover(0x1000, 0, why));
}

}  // namespace
}  // namespace tov::gdb
