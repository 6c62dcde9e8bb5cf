#include "session/FlashProgress.h"

#include <gtest/gtest.h>

namespace {

TEST(FlashProgress, RoundsDownShareOfBlocks)
{
    EXPECT_EQ(FlashProgressPercent(0, 7, false), 0);
    EXPECT_EQ(FlashProgressPercent(1, 7, false), 14);
    EXPECT_EQ(FlashProgressPercent(6, 7, false), 85);
    EXPECT_EQ(FlashProgressPercent(7, 7, false), 100);
    EXPECT_EQ(FlashProgressPercent(2, 3, false), 66);
}

TEST(FlashProgress, NoBlocksShowsNothingThenFull)
{
    EXPECT_EQ(FlashProgressPercent(0, 0, false), 0);
    EXPECT_EQ(FlashProgressPercent(0, 0, true), 100);
}

TEST(FlashProgress, GrownFileStopsAtFullAndHugeFilesDoNotOverflow)
{
    EXPECT_EQ(FlashProgressPercent(9, 7, false), 100);
    const std::uint64_t total = 1ull << 40;
    EXPECT_EQ(FlashProgressPercent(total / 2, total, false), 50);
    EXPECT_EQ(FlashProgressPercent(total - 1, total, false), 99);
    // 40,000,000 blocks: a 32-bit product would overflow here.
    EXPECT_EQ(FlashProgressPercent(30'000'000, 40'000'000, false), 75);
}

} // namespace
