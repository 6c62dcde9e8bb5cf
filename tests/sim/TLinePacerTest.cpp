#include "sim/TLinePacer.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {
const TLinePacer::TClock::time_point T0{};
}

TEST(TLinePacer, BaudRateCountsTenBitsACharacter)
{
    EXPECT_DOUBLE_EQ(TLinePacer::BytesPerSecondForBaud(115200), 11520.0);
    EXPECT_DOUBLE_EQ(TLinePacer::BytesPerSecondForBaud(9600), 960.0);
    EXPECT_DOUBLE_EQ(TLinePacer::BytesPerSecondForBaud(0), 0.0);
}

TEST(TLinePacer, UnpacedLineNeverHoldsBack)
{
    TLinePacer pacer(0, 0, T0);
    EXPECT_FALSE(pacer.Paced());
    pacer.Consume(1'000'000, T0);
    EXPECT_GT(pacer.Available(T0), 1'000'000u);
    EXPECT_EQ(pacer.ReadyAt(100, T0), T0);
}

TEST(TLinePacer, IdleLineBanksOnlyTheBurst)
{
    TLinePacer pacer(11520, 64, T0);
    EXPECT_EQ(pacer.Available(T0), 64u);
    EXPECT_EQ(pacer.Available(T0 + 10s), 64u);
    pacer.Consume(64, T0 + 10s);
    EXPECT_EQ(pacer.Available(T0 + 10s), 0u);
    // 32 bytes take 32/11520 s = 2.78 ms to arrive.
    EXPECT_EQ(pacer.Available(T0 + 10s + 2ms), 23u);
    EXPECT_EQ(pacer.Available(T0 + 10s + 2800us), 32u);
    // Asking for more than the bucket holds waits for a full bucket, not for ever.
    const auto full = pacer.ReadyAt(1000, T0 + 10s + 2800us);
    EXPECT_LT(full - (T0 + 10s), 6ms);
    EXPECT_EQ(pacer.Available(full), 64u);
}

TEST(TLinePacer, DebtDelaysTheNextBytesByTheirLineTime)
{
    TLinePacer pacer(11520, 0, T0);
    pacer.Consume(1152, T0); // a tenth of a second of line time
    const auto ready = pacer.ReadyAt(0, T0);
    EXPECT_GE(ready - T0, 99'999us);
    EXPECT_LE(ready - T0, 100'001us);
    EXPECT_EQ(pacer.Available(T0 + 50ms), 0u);
    // A second message queues behind the first.
    pacer.Consume(1152, T0 + 50ms);
    EXPECT_GE(pacer.ReadyAt(0, T0 + 50ms) - T0, 199'999us);
    // Time going backwards (a reading taken earlier on another path) changes nothing.
    EXPECT_EQ(pacer.Available(T0), 0u);
}

TEST(TLinePacer, LongRunRateMatchesTheLine)
{
    TLinePacer pacer(960, 64, T0);
    std::size_t passed = 0;
    auto now = T0;
    for (int step = 0; step < 10'000; ++step) { // 10 s in 1 ms steps
        now += 1ms;
        const std::size_t n = pacer.Available(now);
        pacer.Consume(n, now);
        passed += n;
    }
    EXPECT_GE(passed, 9600u + 64u - 2u);
    EXPECT_LE(passed, 9600u + 64u);
}
