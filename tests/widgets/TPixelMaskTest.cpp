#include "widgets/TPixelMask.h"

#include <gtest/gtest.h>

namespace {

TEST(TPixelMaskEllipse, BoxExcludesRightColumnAndBottomRow)
{
    const TPixelMask m = TPixelMask::Ellipse(TBox{0, 0, 15, 15});
    EXPECT_EQ(m.Bounds(), QRect(0, 0, 15, 15));
    // Extreme points of each axis are covered, nothing past them.
    EXPECT_TRUE(m.Contains(0, 7));
    EXPECT_TRUE(m.Contains(14, 7));
    EXPECT_TRUE(m.Contains(7, 0));
    EXPECT_TRUE(m.Contains(7, 14));
    EXPECT_FALSE(m.Contains(15, 7));
    EXPECT_FALSE(m.Contains(7, 15));
    // Corners are outside the ellipse.
    EXPECT_FALSE(m.Contains(0, 0));
    EXPECT_FALSE(m.Contains(14, 0));
    EXPECT_FALSE(m.Contains(0, 14));
    EXPECT_FALSE(m.Contains(14, 14));
}

TEST(TPixelMaskEllipse, SymmetricAboutBothAxes)
{
    for (TBox box : {TBox{0, 0, 15, 15}, TBox{0, 0, 24, 24}, TBox{3, 2, 40, 13}}) {
        const TPixelMask m = TPixelMask::Ellipse(box);
        for (int y = box.Top; y < box.Bottom; ++y)
            for (int x = box.Left; x < box.Right; ++x) {
                const int mx = box.Left + box.Right - 1 - x, my = box.Top + box.Bottom - 1 - y;
                ASSERT_EQ(m.Contains(x, y), m.Contains(mx, y)) << x << "," << y;
                ASSERT_EQ(m.Contains(x, y), m.Contains(x, my)) << x << "," << y;
            }
    }
}

TEST(TPixelMaskEllipse, ReversedBoxIsNormalisedAndEmptyBoxCoversNothing)
{
    EXPECT_EQ(TPixelMask::Ellipse(TBox{15, 15, 0, 0}).Count(),
              TPixelMask::Ellipse(TBox{0, 0, 15, 15}).Count());
    EXPECT_EQ(TPixelMask::Ellipse(TBox{5, 5, 5, 20}).Count(), 0);
}

TEST(TPixelMaskPie, QuarterFromThreeToTwelveOClockIsUpperRight)
{
    // Counter-clockwise on screen from the radial through the right to the one through
    // the top.
    const TPixelMask m = TPixelMask::Pie(TBox{0, 0, 100, 100}, QPoint(100, 50), QPoint(50, 0));
    EXPECT_TRUE(m.Contains(75, 25));
    EXPECT_FALSE(m.Contains(25, 25));
    EXPECT_FALSE(m.Contains(25, 75));
    EXPECT_FALSE(m.Contains(75, 75));
    const int quarter = TPixelMask::Ellipse(TBox{0, 0, 100, 100}).Count() / 4;
    EXPECT_NEAR(m.Count(), quarter, 110); // plus the pixels along both radials
}

TEST(TPixelMaskPie, SwappedRadialsTakeTheOtherThreeQuarters)
{
    const TPixelMask m = TPixelMask::Pie(TBox{0, 0, 100, 100}, QPoint(50, 0), QPoint(100, 50));
    EXPECT_FALSE(m.Contains(75, 25));
    EXPECT_TRUE(m.Contains(25, 25));
    EXPECT_TRUE(m.Contains(25, 75));
    EXPECT_TRUE(m.Contains(75, 75));
}

TEST(TPixelMaskPie, EqualRadialsCoverTheWholeEllipse)
{
    const TBox box{0, 0, 60, 40};
    EXPECT_EQ(TPixelMask::Pie(box, QPoint(30, 0), QPoint(30, 0)).Count(),
              TPixelMask::Ellipse(box).Count());
    // Different points on the same radial count as equal radials.
    EXPECT_EQ(TPixelMask::Pie(box, QPoint(30, 0), QPoint(30, 10)).Count(),
              TPixelMask::Ellipse(box).Count());
}

TEST(TPixelMaskPie, OppositeRadialsGiveAHalf)
{
    const TPixelMask upper = TPixelMask::Pie(TBox{0, 0, 40, 40}, QPoint(40, 20), QPoint(0, 20));
    EXPECT_TRUE(upper.Contains(20, 5));
    EXPECT_FALSE(upper.Contains(20, 35));
}

TEST(TPixelMaskChord, UpperLeftQuarterCutByTheStraightLine)
{
    // The lamp highlight of a 24x24 LED.
    const TPixelMask m = TPixelMask::Chord(TBox{4, 4, 20, 20}, QPoint(12, 4), QPoint(4, 12));
    EXPECT_TRUE(m.Contains(7, 7));
    EXPECT_FALSE(m.Contains(12, 12)); // the centre lies beyond the chord
    EXPECT_FALSE(m.Contains(16, 7));
    EXPECT_FALSE(m.Contains(7, 16));
    // Nothing on the centre's side of the line x + y = 16 (doubled-centre coordinates).
    for (int y = 4; y < 20; ++y)
        for (int x = 4; x < 20; ++x)
            if (x + y > 16) {
                EXPECT_FALSE(m.Contains(x, y)) << x << "," << y;
            }
    const TPixelMask inner = TPixelMask::Ellipse(TBox{4, 4, 20, 20});
    for (int y = 4; y < 20; ++y)
        for (int x = 4; x < 20; ++x)
            if (m.Contains(x, y)) {
                EXPECT_TRUE(inner.Contains(x, y)) << x << "," << y;
            }
}

TEST(TPixelMaskChord, LongArcContainsTheCentre)
{
    const TPixelMask m = TPixelMask::Chord(TBox{4, 4, 20, 20}, QPoint(4, 12), QPoint(12, 4));
    EXPECT_TRUE(m.Contains(12, 12));
    EXPECT_TRUE(m.Contains(16, 16));
    EXPECT_FALSE(m.Contains(6, 6));
}

TEST(TPixelMaskLine, LeavesOutTheLastPoint)
{
    const TPixelMask h = TPixelMask::Line(QPoint(1, 20), QPoint(409, 20));
    EXPECT_EQ(h.Count(), 408);
    EXPECT_TRUE(h.Contains(1, 20));
    EXPECT_TRUE(h.Contains(408, 20));
    EXPECT_FALSE(h.Contains(409, 20));

    const TPixelMask v = TPixelMask::Line(QPoint(50, 99), QPoint(50, 0));
    EXPECT_EQ(v.Count(), 99);
    EXPECT_TRUE(v.Contains(50, 99));
    EXPECT_FALSE(v.Contains(50, 0));

    EXPECT_EQ(TPixelMask::Line(QPoint(3, 3), QPoint(3, 3)).Count(), 0);
}

TEST(TPixelMaskLine, DiagonalStepsOnePixelPerColumn)
{
    const TPixelMask d = TPixelMask::Line(QPoint(0, 10), QPoint(10, 0));
    EXPECT_EQ(d.Count(), 10);
    for (int i = 0; i < 10; ++i)
        EXPECT_TRUE(d.Contains(i, 10 - i)) << i;
}

TEST(TPixelMaskEdge, RingOfAFilledEllipse)
{
    const TPixelMask m = TPixelMask::Ellipse(TBox{0, 0, 20, 20});
    EXPECT_TRUE(m.IsEdge(0, 10));
    EXPECT_TRUE(m.IsEdge(10, 0));
    EXPECT_FALSE(m.IsEdge(10, 10));
    EXPECT_FALSE(m.IsEdge(0, 0)); // not covered at all
}

} // namespace
