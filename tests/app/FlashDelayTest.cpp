#include "app/EventLoopDelay.h"
#include "session/MillisecondTick.h"

#include <QCoreApplication>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

TEST(FlashTick, AdvanceIsTakenModulo32Bits)
{
    EXPECT_EQ(TickAdvance(100, 105), 5u);
    EXPECT_EQ(TickAdvance(0xFFFFFFF0u, 0x10u), 0x20u);
    EXPECT_EQ(TickAdvance(0xFFFFFFFFu, 0u), 1u);
    EXPECT_EQ(TickAdvance(7, 7), 0u);
}

TEST(FlashDelay, ZeroStillProcessesPendingEvents)
{
    bool ran = false;
    QMetaObject::invokeMethod(
        qApp, [&ran] { ran = true; }, Qt::QueuedConnection);
    ProcessEventsFor(0, MillisecondTick);
    EXPECT_TRUE(ran);
}

TEST(FlashDelay, ReturnsOnlyOnceTheTickAdvancedAndHandlesEventsMeanwhile)
{
    bool fired = false;
    QTimer::singleShot(20, qApp, [&fired] { fired = true; });
    const std::uint32_t before = MillisecondTick();
    ProcessEventsFor(60, MillisecondTick);
    EXPECT_GE(TickAdvance(before, MillisecondTick()), 60u);
    EXPECT_TRUE(fired); // handled inside the wait, not left for later
}

TEST(FlashDelay, SurvivesAWrapOfTheCounter)
{
    // A counter three milliseconds before its wrap: a naive "start + ms" comparison
    // would return at once.
    const std::uint32_t offset = 0xFFFFFFFDu - MillisecondTick();
    const auto nearWrap = [offset] { return MillisecondTick() + offset; };
    const std::uint32_t before = MillisecondTick();
    ProcessEventsFor(40, nearWrap);
    EXPECT_GE(TickAdvance(before, MillisecondTick()), 40u);
}

TEST(FlashDelay, SleepsInTheEventLoopInsteadOfSpinning)
{
    // Each look at the counter is one turn of the wait; a spinning wait would look
    // many thousands of times in 300 ms, a blocking one a handful.
    int looks = 0;
    const auto countingTick = [&looks] {
        ++looks;
        return MillisecondTick();
    };
    ProcessEventsFor(300, countingTick);
    EXPECT_LT(looks, 60);
    EXPECT_GE(looks, 2);
}

} // namespace
