#include "widgets/GaugePercent.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>

namespace {

TEST(ToPercent, TruncatesTheWholePercentage)
{
    EXPECT_EQ(ToPercent(0, 100), 0);
    EXPECT_EQ(ToPercent(42, 100), 42);
    EXPECT_EQ(ToPercent(1, 3), 33);
    EXPECT_EQ(ToPercent(2, 3), 66);
    EXPECT_EQ(ToPercent(127, 128), 99);
    EXPECT_EQ(ToPercent(128, 128), 100);
    EXPECT_EQ(ToPercent(-1, 3), -33); // toward zero, not floor
}

TEST(ToPercent, ZeroWholeGivesZero)
{
    EXPECT_EQ(ToPercent(0, 0), 0);
    EXPECT_EQ(ToPercent(12345, 0), 0);
}

TEST(ToPercent, WideRangesDoNotOverflow)
{
    // Part x 100 exceeds 32 bits here; the full 32-bit range width exceeds int32.
    EXPECT_EQ(ToPercent(2147483647LL, 2147483647LL), 100);
    EXPECT_EQ(ToPercent(1073741823LL, 2147483647LL), 49);
    const std::int64_t width = 2147483647LL - (-2147483647LL - 1);
    EXPECT_EQ(ToPercent(width / 2, width), 49); // 2^32 - 1 is odd
    EXPECT_EQ(ToPercent(width / 2 + 1, width), 50);
    EXPECT_EQ(ToPercent(width, width), 100);
}

TEST(ScalePercent, WorkedExamples)
{
    // 0.01 held slightly below its value makes these exact multiples come out one less.
    EXPECT_EQ(ScalePercent(5, 20), 0);
    EXPECT_EQ(ScalePercent(15, 20), 2);
    EXPECT_EQ(ScalePercent(20, 5), 0);
    // ...but not these.
    EXPECT_EQ(ScalePercent(42, 408), 171);
    EXPECT_EQ(ScalePercent(50, 7), 3);
    for (int w : {0, 1, 2, 7, 20, 21, 100, 408, 409, 65535, 1000000, 2147483647})
        EXPECT_EQ(ScalePercent(100, w), w) << "width " << w;
    EXPECT_EQ(ScalePercent(0, 408), 0);
}

TEST(ScalePercent, SymmetricInSign)
{
    EXPECT_EQ(ScalePercent(42, -408), -171);
    EXPECT_EQ(ScalePercent(-42, 408), -171);
    EXPECT_EQ(ScalePercent(-42, -408), 171);
    EXPECT_EQ(ScalePercent(15, -20), -2);
}

// The reference: the same expression evaluated by the x87 unit in 80-bit precision.
int ExtendedReference(int percent, int whole)
{
    const volatile long double hundredth = 0.01L;
    const long double fraction = static_cast<long double>(percent) * hundredth;
    const long double product = static_cast<long double>(whole) * fraction;
    return static_cast<int>(static_cast<long long>(product));
}

bool HaveExtendedPrecision()
{
    return std::numeric_limits<long double>::digits == 64;
}

TEST(ScalePercent, MatchesExtendedPrecisionExhaustivelyForWidgetSizes)
{
    if (!HaveExtendedPrecision()) GTEST_SKIP() << "long double is not the 80-bit format here";
    int mismatches = 0;
    for (int whole = -70000; whole <= 70000; ++whole)
        for (int percent = 0; percent <= 100; ++percent)
            if (ScalePercent(percent, whole) != ExtendedReference(percent, whole) &&
                ++mismatches <= 10)
                ADD_FAILURE() << "ScalePercent(" << percent << ", " << whole
                              << ") = " << ScalePercent(percent, whole) << ", expected "
                              << ExtendedReference(percent, whole);
    EXPECT_EQ(mismatches, 0);
}

TEST(ScalePercent, MatchesExtendedPrecisionOverTheWholeIntRange)
{
    if (!HaveExtendedPrecision()) GTEST_SKIP() << "long double is not the 80-bit format here";
    std::mt19937 rng(20261208);
    std::uniform_int_distribution<int> anyInt(std::numeric_limits<int>::min() + 1,
                                              std::numeric_limits<int>::max());
    int mismatches = 0;
    auto check = [&](int percent, int whole) {
        if (ScalePercent(percent, whole) != ExtendedReference(percent, whole) && ++mismatches <= 10)
            ADD_FAILURE() << "ScalePercent(" << percent << ", " << whole << ")";
    };
    for (int i = 0; i < 200000; ++i)
        check(static_cast<int>(rng() % 101), anyInt(rng));
    // Around powers of two and multiples of 100, where rounding is most delicate.
    for (int bit = 1; bit < 31; ++bit)
        for (int delta = -3; delta <= 3; ++delta)
            for (int percent = 0; percent <= 100; ++percent)
                check(percent, static_cast<int>((1LL << bit) + delta));
    for (long long m = 100; m < 2147483647LL; m = m * 3 + 100)
        for (int percent = 0; percent <= 100; ++percent)
            check(percent, static_cast<int>(m));
    EXPECT_EQ(mismatches, 0);
}

} // namespace
