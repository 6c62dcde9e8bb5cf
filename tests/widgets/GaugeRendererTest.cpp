#include "widgets/GaugeRenderer.h"
#include "widgets/GaugePercent.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

constexpr QRgb Black = 0xFF000000, White = 0xFFFFFFFF;
const QColor Grey(0xC0, 0xC0, 0xC0); // the pie's and needle's background
constexpr QRgb GreyRgb = 0xFFC0C0C0;

TGaugePicture Gauge(int width, int height, TGaugeKind kind, int percent,
                    TBorderStyle border = bsSingle, bool text = false)
{
    TGaugePicture g;
    g.Size = QSize(width, height);
    g.Kind = kind;
    g.Percent = percent;
    g.BorderStyle = border;
    g.ShowText = text;
    g.Color = Grey;
    return g;
}

// Every pixel of the rectangle [x0, x1] x [y0, y1] has the colour.
::testing::AssertionResult AllPixels(const QImage& image, int x0, int x1, int y0, int y1,
                                     QRgb colour)
{
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x)
            if (image.pixel(x, y) != colour)
                return ::testing::AssertionFailure()
                       << "pixel " << x << "," << y << " is " << std::hex << image.pixel(x, y)
                       << ", expected " << colour;
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult BlackRing(const QImage& image)
{
    const int r = image.width() - 1, b = image.height() - 1;
    auto res = AllPixels(image, 0, r, 0, 0, Black);
    if (res) res = AllPixels(image, 0, r, b, b, Black);
    if (res) res = AllPixels(image, 0, 0, 0, b, Black);
    if (res) res = AllPixels(image, r, r, 0, b, Black);
    return res;
}

TEST(GaugeHorizontalBar, MainWindowGaugeAt42Percent)
{
    const QImage image = RenderGauge(Gauge(409, 21, gkHorizontalBar, 42));
    ASSERT_EQ(image.size(), QSize(409, 21));
    EXPECT_TRUE(AllPixels(image, 1, 170, 1, 19, Black)); // ScalePercent(42, 408) = 171
    EXPECT_TRUE(AllPixels(image, 171, 407, 1, 19, White));
    EXPECT_TRUE(BlackRing(image));
}

TEST(GaugeHorizontalBar, EmptyAndFull)
{
    const QImage empty = RenderGauge(Gauge(409, 21, gkHorizontalBar, 0));
    EXPECT_TRUE(AllPixels(empty, 1, 407, 1, 19, White));
    EXPECT_TRUE(BlackRing(empty));
    const QImage full = RenderGauge(Gauge(409, 21, gkHorizontalBar, 100));
    EXPECT_TRUE(AllPixels(full, 0, 408, 0, 20, Black));
}

TEST(GaugeHorizontalBar, UnborderedBarReachesPastTheEdgeAndIsClipped)
{
    const QImage full = RenderGauge(Gauge(50, 10, gkHorizontalBar, 100, bsNone));
    EXPECT_TRUE(AllPixels(full, 0, 49, 0, 9, Black));
    const QImage half = RenderGauge(Gauge(49, 10, gkHorizontalBar, 50, bsNone));
    // W = 50: ScalePercent(50, 50) = 25 columns.
    EXPECT_TRUE(AllPixels(half, 0, 24, 0, 9, Black));
    EXPECT_TRUE(AllPixels(half, 25, 48, 0, 9, White));
}

TEST(GaugeHorizontalBar, SmallPercentagesFollowTheScaling)
{
    // A 20-pixel bar: ScalePercent(5, 20) = 0 and ScalePercent(15, 20) = 2.
    EXPECT_TRUE(
        AllPixels(RenderGauge(Gauge(19, 6, gkHorizontalBar, 5, bsNone)), 0, 18, 0, 5, White));
    const QImage fifteen = RenderGauge(Gauge(19, 6, gkHorizontalBar, 15, bsNone));
    EXPECT_TRUE(AllPixels(fifteen, 0, 1, 0, 5, Black));
    EXPECT_TRUE(AllPixels(fifteen, 2, 18, 0, 5, White));
}

TEST(GaugeVerticalBar, FullBarStopsOneRowShortOfTheTop)
{
    const QImage image = RenderGauge(Gauge(10, 40, gkVerticalBar, 100, bsNone));
    EXPECT_TRUE(AllPixels(image, 0, 9, 0, 0, White));
    EXPECT_TRUE(AllPixels(image, 0, 9, 1, 39, Black));
}

TEST(GaugeVerticalBar, GrowsFromTheBottom)
{
    // H = 41: ScalePercent(50, 41) = 20 rows, from row 21 down.
    const QImage image = RenderGauge(Gauge(10, 40, gkVerticalBar, 50, bsNone));
    EXPECT_TRUE(AllPixels(image, 0, 9, 0, 20, White));
    EXPECT_TRUE(AllPixels(image, 0, 9, 21, 39, Black));
    const QImage empty = RenderGauge(Gauge(10, 40, gkVerticalBar, 0, bsNone));
    EXPECT_TRUE(AllPixels(empty, 0, 9, 0, 39, White));
}

TEST(GaugeVerticalBar, BorderedKeepsTheRing)
{
    const QImage image = RenderGauge(Gauge(12, 40, gkVerticalBar, 100));
    EXPECT_TRUE(BlackRing(image));
    // H counts the top border row, so inside a border the full bar fills the interior.
    EXPECT_TRUE(AllPixels(image, 1, 10, 1, 38, Black));
    const QImage half = RenderGauge(Gauge(12, 40, gkVerticalBar, 50));
    EXPECT_TRUE(BlackRing(half));
    EXPECT_TRUE(AllPixels(half, 1, 10, 1, 19, White)); // H = 39: 19 rows from row 20
    EXPECT_TRUE(AllPixels(half, 1, 10, 20, 38, Black));
}

TEST(GaugePie, QuarterCoversTheUpperRight)
{
    const QImage image = RenderGauge(Gauge(100, 100, gkPie, 25, bsNone));
    EXPECT_EQ(image.pixel(75, 25), Black);
    EXPECT_EQ(image.pixel(60, 10), Black);
    EXPECT_EQ(image.pixel(90, 40), Black);
    EXPECT_EQ(image.pixel(25, 25), White);
    EXPECT_EQ(image.pixel(25, 75), White);
    EXPECT_EQ(image.pixel(75, 75), White);
    EXPECT_EQ(image.pixel(0, 0), GreyRgb); // outside the dial: the control's colour
    EXPECT_EQ(image.pixel(99, 99), GreyRgb);
    EXPECT_EQ(image.pixel(0, 50), Black); // the dial's outline
}

TEST(GaugePie, GrowsClockwiseFromTwelve)
{
    const QImage half = RenderGauge(Gauge(100, 100, gkPie, 50, bsNone));
    EXPECT_EQ(half.pixel(75, 75), Black);
    EXPECT_EQ(half.pixel(75, 25), Black);
    EXPECT_EQ(half.pixel(25, 25), White);
    EXPECT_EQ(half.pixel(25, 75), White);
    const QImage full = RenderGauge(Gauge(100, 100, gkPie, 100, bsNone));
    for (QPoint p : {QPoint(25, 25), QPoint(75, 25), QPoint(25, 75), QPoint(75, 75)})
        EXPECT_EQ(full.pixel(p), Black) << p.x() << "," << p.y();
    const QImage none = RenderGauge(Gauge(100, 100, gkPie, 0, bsNone));
    for (QPoint p : {QPoint(25, 25), QPoint(75, 25), QPoint(25, 75), QPoint(75, 75)})
        EXPECT_EQ(none.pixel(p), White) << p.x() << "," << p.y();
}

TEST(GaugePie, StartRadialPoints)
{
    EXPECT_EQ(PieStartPoint(25, 50, 50), (TGaugePoint{100, 50}));
    EXPECT_EQ(PieStartPoint(50, 50, 50), (TGaugePoint{50, 100}));
    EXPECT_EQ(PieStartPoint(75, 50, 50), (TGaugePoint{0, 50}));
    EXPECT_EQ(PieStartPoint(100, 50, 50), (TGaugePoint{50, 0}));
}

TEST(GaugeNeedle, TipPoints)
{
    EXPECT_EQ(NeedleTip(50, 50, 50), (TGaugePoint{50, 0}));
    EXPECT_EQ(NeedleTip(100, 50, 50), (TGaugePoint{100, 49}));
    EXPECT_EQ(NeedleTip(1, 50, 50), (TGaugePoint{0, 47}));
}

TEST(GaugeNeedle, PointsLeftUpRight)
{
    // Pivot at (50, 49); the dial is the upper half of an ellipse 99 pixels high.
    const QImage zero = RenderGauge(Gauge(100, 50, gkNeedle, 0, bsNone));
    const QImage one = RenderGauge(Gauge(100, 50, gkNeedle, 1, bsNone));
    const QImage half = RenderGauge(Gauge(100, 50, gkNeedle, 50, bsNone));
    const QImage full = RenderGauge(Gauge(100, 50, gkNeedle, 100, bsNone));

    EXPECT_TRUE(AllPixels(zero, 0, 99, 49, 49, GreyRgb)); // no needle at all
    EXPECT_EQ(zero.pixel(50, 20), White);

    EXPECT_TRUE(AllPixels(one, 40, 49, 49, 49, Black)); // nearly flat to the left
    EXPECT_TRUE(AllPixels(one, 51, 99, 49, 49, GreyRgb));

    EXPECT_TRUE(AllPixels(half, 50, 50, 1, 49, Black)); // straight up
    EXPECT_EQ(half.pixel(45, 20), White);
    EXPECT_EQ(half.pixel(55, 20), White);
    EXPECT_EQ(half.pixel(45, 49), GreyRgb);
    EXPECT_EQ(half.pixel(55, 49), GreyRgb);

    EXPECT_TRUE(AllPixels(full, 50, 99, 49, 49, Black)); // flat to the right
    EXPECT_TRUE(AllPixels(full, 0, 49, 49, 49, GreyRgb));
}

TEST(GaugeNeedle, BorderedBaselineIsTheBottomRow)
{
    TGaugePicture g = Gauge(60, 30, gkNeedle, 0);
    g.ForeColor = QColor(0, 0, 255);
    const QImage image = RenderGauge(g);
    EXPECT_TRUE(AllPixels(image, 1, 59, 29, 29, 0xFF0000FF));
    EXPECT_EQ(image.pixel(0, 29), Black);
    EXPECT_TRUE(AllPixels(image, 0, 59, 0, 0, Black));
    EXPECT_TRUE(AllPixels(image, 59, 59, 0, 28, Black));
}

TEST(GaugeText, PlainKindWithoutTextIsOnlyTheBackColour)
{
    TGaugePicture g = Gauge(80, 20, gkText, 42);
    g.BackColor = QColor(0x12, 0x34, 0x56);
    const QImage image = RenderGauge(g);
    EXPECT_TRUE(AllPixels(image, 1, 78, 1, 18, 0xFF123456));
    EXPECT_TRUE(BlackRing(image));
}

// Calls check(x, y, without, with) for every pixel where the text changed the picture.
int TextPixels(const TGaugePicture& g, const std::function<void(int, int, QRgb, QRgb)>& check)
{
    TGaugePicture plain = g;
    plain.ShowText = false;
    TGaugePicture text = g;
    text.ShowText = true;
    const QImage a = RenderGauge(plain), b = RenderGauge(text);
    int changed = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y)) {
                ++changed;
                check(x, y, a.pixel(x, y), b.pixel(x, y));
            }
    return changed;
}

TEST(GaugeText, GlyphsAreInvertedOverBarAndBackground)
{
    // At 50 % the bar ends in the middle, under the text.
    int overBar = 0, overBackground = 0;
    const int changed =
        TextPixels(Gauge(409, 21, gkHorizontalBar, 50), [&](int x, int y, QRgb without, QRgb with) {
            EXPECT_EQ(with, without ^ 0x00FFFFFFu) << x << "," << y;
            EXPECT_TRUE(x >= 1 && x <= 407 && y >= 1 && y <= 19) << "text on the ring";
            if (without == Black) ++overBar;
            if (without == White) ++overBackground;
        });
    EXPECT_GT(overBar, 0);
    EXPECT_GT(overBackground, 0);
    EXPECT_EQ(changed, overBar + overBackground);
}

TEST(GaugeText, ColouredGroundGetsItsComplement)
{
    TGaugePicture g = Gauge(120, 30, gkText, 7);
    g.BackColor = QColor(0x20, 0x80, 0xF0);
    const int changed = TextPixels(g, [&](int, int, QRgb without, QRgb with) {
        EXPECT_EQ(without, 0xFF2080F0u);
        EXPECT_EQ(with, 0xFFDF7F0Fu);
    });
    EXPECT_GT(changed, 0);
}

TEST(GaugeText, CentredOnTheWholeGaugeAndPrintedAtZero)
{
    int minX = 1000, maxX = -1;
    const int changed = TextPixels(Gauge(409, 21, gkHorizontalBar, 0), [&](int x, int, QRgb, QRgb) {
        minX = std::min(minX, x);
        maxX = std::max(maxX, x);
    });
    EXPECT_GT(changed, 0);
    EXPECT_NEAR((minX + maxX) / 2.0, 204, 6);
}

TEST(GaugeText, ClippedToTheRectangleInsideTheBorder)
{
    TGaugePicture g = Gauge(12, 8, gkText, 100); // far too small for "100%"
    g.Font.setPixelSize(20);
    TextPixels(g, [&](int x, int y, QRgb, QRgb) {
        EXPECT_TRUE(x >= 1 && x <= 10 && y >= 1 && y <= 6) << x << "," << y;
    });
    TGaugePicture t = g;
    t.ShowText = true;
    EXPECT_TRUE(BlackRing(RenderGauge(t)));
}

TEST(GaugePicture, EmptySizeGivesNoImage)
{
    EXPECT_TRUE(RenderGauge(Gauge(0, 21, gkHorizontalBar, 42)).isNull());
    EXPECT_TRUE(RenderGauge(Gauge(10, 0, gkPie, 42)).isNull());
}

TEST(GaugePicture, TinyBorderedGaugeIsAllRing)
{
    for (TGaugeKind kind : {gkText, gkHorizontalBar, gkVerticalBar, gkPie, gkNeedle}) {
        TGaugePicture g = Gauge(2, 2, kind, 60);
        g.ShowText = true;
        EXPECT_TRUE(AllPixels(RenderGauge(g), 0, 1, 0, 1, Black)) << int(kind);
    }
}

} // namespace
