#include "widgets/TpelLed.h"
#include "tests/widgets/WidgetTestSupport.h"

#include <QTest>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr QRgb Sentinel = 0xFFFF00FF; // a colour the LED never paints

// Exposes the flash tick so tests drive the phase without waiting for the timer.
class TTestLed : public TpelLed
{
public:
    using TpelLed::FlashTimerTick;
    using TpelLed::TpelLed;
};

// A shown LED inside a window, so that repaints really paint.
using TShownLed = TShownInWindow<TTestLed, 100, 100>;

TEST(TpelLedConstruction, InitialValues)
{
    TpelLed led;
    EXPECT_EQ(led.OnColor(), clLime);
    EXPECT_EQ(led.OffColor(), clRed);
    EXPECT_FALSE(led.LedOn());
    EXPECT_FALSE(led.Flashing());
    EXPECT_EQ(led.Frequency(), 200);
    EXPECT_EQ(led.BorderStyle(), bsNone);
    EXPECT_FALSE(led.FlashPhase());
    EXPECT_EQ(led.size(), QSize(24, 24));
    EXPECT_FALSE(led.FlashTimer().isActive());
    EXPECT_EQ(led.FlashTimer().interval(), 200);
    EXPECT_FALSE(led.OnChange());
}

TEST(TpelLedChange, RaisedOncePerRealChangeAfterTheRepaint)
{
    TShownLed s;
    std::vector<std::string> log;
    int paintsAtChange = -1;
    s.Widget->SetOnChange([&](QObject* sender) {
        EXPECT_EQ(sender, s.Widget);
        log.push_back(s.Widget->LedOn() ? "on" : "off");
        paintsAtChange = s.Paints.Count();
    });
    const int before = s.Paints.Count();

    s.Widget->SetLedOn(true);
    EXPECT_EQ(s.Paints.Count(), before + 1); // painted before the setter returned
    EXPECT_EQ(paintsAtChange, before + 1);   // ...and before OnChange ran
    s.Widget->SetLedOn(true);
    EXPECT_EQ(s.Paints.Count(), before + 1);
    s.Widget->SetLedOn(false);
    EXPECT_EQ(s.Paints.Count(), before + 2);
    EXPECT_EQ(log, (std::vector<std::string>{"on", "off"}));
}

TEST(TpelLedChange, OtherPropertiesRepaintWithoutOnChange)
{
    TShownLed s;
    int changes = 0;
    s.Widget->SetOnChange([&](QObject*) { ++changes; });
    int paints = s.Paints.Count();

    s.Widget->SetOnColor(clRed);
    EXPECT_EQ(s.Paints.Count(), ++paints);
    s.Widget->SetOnColor(clRed);
    EXPECT_EQ(s.Paints.Count(), paints);
    s.Widget->SetOffColor(clMaroon);
    EXPECT_EQ(s.Paints.Count(), ++paints);
    s.Widget->SetOffColor(clMaroon);
    EXPECT_EQ(s.Paints.Count(), paints);
    s.Widget->SetBorderStyle(bsSingle);
    EXPECT_EQ(s.Paints.Count(), ++paints);
    s.Widget->SetBorderStyle(bsSingle);
    EXPECT_EQ(s.Paints.Count(), paints);
    // Flashing and Frequency only steer the timer.
    s.Widget->SetFlashing(true);
    s.Widget->SetFrequency(300);
    EXPECT_EQ(s.Paints.Count(), paints);
    EXPECT_EQ(changes, 0);
}

TEST(TpelLedChange, NoHandlerNoCall)
{
    TTestLed led; // not shown: setters must not fail without a window either
    led.SetLedOn(true);
    EXPECT_TRUE(led.LedOn());
}

TEST(TpelLedFlashing, TimerFollowsTheSetters)
{
    TTestLed led;
    led.SetFlashing(true);
    EXPECT_TRUE(led.FlashTimer().isActive()); // runs even while dark
    led.SetLedOn(true);
    EXPECT_TRUE(led.FlashTimer().isActive());
    led.SetLedOn(false);
    EXPECT_FALSE(led.FlashTimer().isActive()); // LedOn := v sets it to v and Flashing
    led.SetLedOn(true);
    EXPECT_TRUE(led.FlashTimer().isActive());
    led.SetFlashing(false);
    EXPECT_FALSE(led.FlashTimer().isActive());
    led.SetLedOn(false);
    led.SetLedOn(true);
    EXPECT_FALSE(led.FlashTimer().isActive());
}

TEST(TpelLedFlashing, FrequencySetsTheIntervalAndZeroNeverTicks)
{
    TTestLed led;
    led.SetFlashing(true);
    led.SetFrequency(50);
    EXPECT_EQ(led.FlashTimer().interval(), 50);
    EXPECT_TRUE(led.FlashTimer().isActive());
    // A zero interval would fire on every event-loop pass; it means "stopped".
    led.SetFrequency(0);
    EXPECT_FALSE(led.FlashTimer().isActive());
    led.SetFrequency(-5);
    EXPECT_FALSE(led.FlashTimer().isActive());
    led.SetFrequency(120);
    EXPECT_TRUE(led.FlashTimer().isActive());
    EXPECT_EQ(led.FlashTimer().interval(), 120);
}

TEST(TpelLedFlashing, PhaseAndFillColour)
{
    TTestLed led;
    led.SetOnColor(clBlue);
    led.SetOffColor(clNavy);
    led.SetFlashing(true);
    led.FlashTimerTick(); // dark: ticks change nothing
    EXPECT_FALSE(led.FlashPhase());
    EXPECT_EQ(led.FillColor(), clNavy);

    led.SetLedOn(true);
    EXPECT_EQ(led.FillColor(), clNavy); // first lit: off phase until the first tick
    led.FlashTimerTick();
    EXPECT_TRUE(led.FlashPhase());
    EXPECT_EQ(led.FillColor(), clBlue);
    led.FlashTimerTick();
    EXPECT_EQ(led.FillColor(), clNavy);
    led.FlashTimerTick();

    // Neither LedOn nor Flashing resets the phase.
    led.SetLedOn(false);
    EXPECT_TRUE(led.FlashPhase());
    led.SetLedOn(true);
    EXPECT_EQ(led.FillColor(), clBlue);
    led.SetFlashing(false);
    EXPECT_TRUE(led.FlashPhase());
    EXPECT_EQ(led.FillColor(), clBlue);
    led.FlashTimerTick();
    EXPECT_EQ(led.FillColor(), clBlue); // steady while not flashing
    led.SetLedOn(false);
    EXPECT_EQ(led.FillColor(), clNavy);
}

TEST(TpelLedFlashing, TickRepaintsLaterNotAtOnce)
{
    TShownLed s;
    s.Widget->SetFlashing(true);
    s.Widget->SetLedOn(true);
    const int paints = s.Paints.Count();
    s.Widget->FlashTimerTick();
    EXPECT_EQ(s.Paints.Count(), paints); // deferred
    EXPECT_TRUE(QTest::qWaitFor([&] { return s.Paints.Count() > paints; }, 10000));
}

TEST(TpelLedFlashing, RealTimerTogglesThePhase)
{
    TShownLed s;
    s.Widget->SetFrequency(10);
    s.Widget->SetFlashing(true);
    s.Widget->SetLedOn(true);
    EXPECT_TRUE(QTest::qWaitFor([&] { return s.Widget->FlashPhase(); }, 10000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !s.Widget->FlashPhase(); }, 10000));
}

// Pixel checks at a lamp size: body in the fill colour, white highlight in the upper-left,
// corners untouched.
struct TLedSize
{
    int Size;
    QPoint InHighlight;
};
class TpelLedPicture : public ::testing::TestWithParam<TLedSize>
{
};

TEST_P(TpelLedPicture, BodyHighlightAndUntouchedCorners)
{
    const auto [size, inHighlight] = GetParam();
    TpelLed led;
    led.resize(size, size);
    led.SetOnColor(clRed);
    led.SetLedOn(true);
    const QImage image = RenderOver(led, Sentinel);
    const QRgb red = qRgb(255, 0, 0), white = qRgb(255, 255, 255);
    const int last = size - 1;

    EXPECT_EQ(image.pixel(size / 2, size / 2), red) << "centre";
    EXPECT_EQ(image.pixel(size * 2 / 3, size * 2 / 3), red);
    EXPECT_EQ(image.pixel(inHighlight), white) << "highlight";
    for (QPoint corner : {QPoint(0, 0), QPoint(last, 0), QPoint(0, last), QPoint(last, last)})
        EXPECT_EQ(image.pixel(corner), Sentinel) << corner.x() << "," << corner.y();
    // The body reaches the box edges at mid-height and mid-width.
    EXPECT_EQ(image.pixel(0, size / 2), red);
    EXPECT_EQ(image.pixel(last, size / 2), red);
    EXPECT_EQ(image.pixel(size / 2, last), red);

    int whites = 0;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const QRgb px = image.pixel(x, y);
            EXPECT_TRUE(px == red || px == white || px == Sentinel) << x << "," << y;
            if (px == white) {
                ++whites;
                EXPECT_LE(x, size / 2) << "highlight outside the upper-left";
                EXPECT_LE(y, size / 2) << "highlight outside the upper-left";
            }
        }
    EXPECT_GT(whites, 2);
}

INSTANTIATE_TEST_SUITE_P(WindowAndDefaultSizes, TpelLedPicture,
                         ::testing::Values(TLedSize{15, QPoint(4, 4)}, TLedSize{24, QPoint(6, 6)}));

TEST(TpelLedDrawing, ShowsOffColourWhenDarkAndInFlashOffPhase)
{
    TpelLed led;
    led.resize(15, 15);
    led.SetOnColor(clLime);
    led.SetOffColor(clGreen);
    EXPECT_EQ(RenderOver(led, Sentinel).pixel(7, 9), qRgb(0, 0x80, 0));
    led.SetFlashing(true);
    led.SetLedOn(true); // phase still off
    EXPECT_EQ(RenderOver(led, Sentinel).pixel(7, 9), qRgb(0, 0x80, 0));
    led.SetFlashing(false);
    EXPECT_EQ(RenderOver(led, Sentinel).pixel(7, 9), qRgb(0, 0xFF, 0));
}

TEST(TpelLedDrawing, NonSquareFillsItsRectangleAndInsetUsesTheShortSide)
{
    TpelLed led;
    led.resize(30, 12);
    led.SetLedOn(true); // lime
    const QImage image = RenderOver(led, Sentinel);
    const QRgb lime = qRgb(0, 255, 0), white = qRgb(255, 255, 255);
    EXPECT_EQ(image.pixel(0, 6), lime);
    EXPECT_EQ(image.pixel(29, 6), lime);
    EXPECT_EQ(image.pixel(15, 11), lime);
    EXPECT_EQ(image.pixel(0, 0), Sentinel);
    EXPECT_EQ(image.pixel(29, 11), Sentinel);
    // d = 12 / 5 = 2: the inner ellipse spans (2,2)-(28,10); its highlight stays left of
    // the middle (the radial through x = 15 ends it) and above it.
    EXPECT_EQ(image.pixel(7, 3), white);
    for (int y = 0; y < 12; ++y)
        for (int x = 16; x < 30; ++x)
            EXPECT_NE(image.pixel(x, y), white) << x << "," << y;
}

TEST(TpelLedDrawing, TinyLedHighlightUsesTheWholeBody)
{
    TpelLed led;
    led.resize(4, 4); // d = 0
    led.SetLedOn(true);
    const QImage image = RenderOver(led, Sentinel);
    EXPECT_EQ(image.pixel(0, 1), qRgb(255, 255, 255));
    EXPECT_EQ(image.pixel(3, 3), Sentinel);
}

TEST(TpelLedDrawing, KeptPicturesFollowColourAndSizeChanges)
{
    TpelLed led;
    led.resize(15, 15);
    led.SetLedOn(true);
    EXPECT_EQ(RenderOver(led, Sentinel).pixel(7, 9), qRgb(0, 0xFF, 0));
    led.SetOnColor(clBlue);
    EXPECT_EQ(RenderOver(led, Sentinel).pixel(7, 9), qRgb(0, 0, 0xFF));
    led.SetOffColor(clBlue); // both colours alike: one picture serves both states
    led.SetLedOn(false);
    EXPECT_EQ(RenderOver(led, Sentinel).pixel(7, 9), qRgb(0, 0, 0xFF));
    led.resize(24, 24);
    const QImage larger = RenderOver(led, Sentinel);
    EXPECT_EQ(larger.pixel(23, 12), qRgb(0, 0, 0xFF));
    EXPECT_EQ(larger.pixel(23, 23), Sentinel);
}

TEST(TpelLedDrawing, BorderStyleDoesNotChangeThePicture)
{
    TpelLed led;
    led.resize(15, 15);
    led.SetLedOn(true);
    const QImage before = RenderOver(led, Sentinel);
    led.SetBorderStyle(bsSingle);
    EXPECT_EQ(RenderOver(led, Sentinel), before);
}

} // namespace
