#include "widgets/TGauge.h"
#include "tests/widgets/WidgetTestSupport.h"
#include "widgets/GaugeRenderer.h"
#include "widgets/TGauge.h"

#include <QTest>
#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

using TShownGauge = TShownInWindow<TGauge, 500, 200>;

std::string MessageOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const EInvalidOperation& e) {
        return e.what();
    }
    return "(no error)";
}

TEST(TGaugeConstruction, InitialValues)
{
    TGauge g;
    EXPECT_EQ(g.MinValue(), 0);
    EXPECT_EQ(g.MaxValue(), 100);
    EXPECT_EQ(g.Progress(), 0);
    EXPECT_EQ(g.Kind(), gkHorizontalBar);
    EXPECT_TRUE(g.ShowText());
    EXPECT_EQ(g.BorderStyle(), bsSingle);
    EXPECT_EQ(g.ForeColor(), clBlack);
    EXPECT_EQ(g.BackColor(), clWhite);
    EXPECT_EQ(g.size(), QSize(100, 100));
    EXPECT_TRUE(g.testAttribute(Qt::WA_OpaquePaintEvent));
}

TEST(TGaugeProgress, ClampedToTheRange)
{
    TGauge g;
    g.SetProgress(150);
    EXPECT_EQ(g.Progress(), 100);
    g.SetProgress(-5);
    EXPECT_EQ(g.Progress(), 0);
    g.SetMinValue(10);
    g.SetMaxValue(20);
    g.SetProgress(INT_MIN);
    EXPECT_EQ(g.Progress(), 10);
    g.SetProgress(INT_MAX);
    EXPECT_EQ(g.Progress(), 20);
    EXPECT_EQ(g.Percent(), 100);
}

TEST(TGaugeProgress, PercentOfTheRange)
{
    TGauge g;
    g.SetMinValue(-50);
    g.SetMaxValue(50);
    g.SetProgress(0);
    EXPECT_EQ(g.Percent(), 50);
    g.SetProgress(-49);
    EXPECT_EQ(g.Percent(), 1);
    g.SetMaxValue(-50); // equal ends are allowed; the percentage is then 0
    EXPECT_EQ(g.Progress(), -50);
    EXPECT_EQ(g.Percent(), 0);
}

TEST(TGaugeProgress, FullIntRangeDoesNotWrap)
{
    TGauge g;
    g.SetMinValue(INT_MIN);
    g.SetMaxValue(INT_MAX);
    g.SetProgress(0);
    EXPECT_EQ(g.Percent(), 50);
    g.SetProgress(INT_MAX);
    EXPECT_EQ(g.Percent(), 100);
    g.SetProgress(INT_MIN);
    EXPECT_EQ(g.Percent(), 0);
}

TEST(TGaugeRange, MinValueAboveMaxValueIsRefused)
{
    TGauge g;
    g.SetProgress(30);
    EXPECT_EQ(MessageOf([&] { g.SetMinValue(150); }), "Value must be between -2147483647 and 99");
    EXPECT_EQ(g.MinValue(), 0);
    EXPECT_EQ(g.MaxValue(), 100);
    EXPECT_EQ(g.Progress(), 30);
    g.SetMinValue(100); // equal to MaxValue: accepted, Progress follows
    EXPECT_EQ(g.MinValue(), 100);
    EXPECT_EQ(g.Progress(), 100);
}

TEST(TGaugeRange, MaxValueBelowMinValueIsRefused)
{
    TGauge g;
    g.SetMinValue(10);
    g.SetProgress(50);
    EXPECT_EQ(MessageOf([&] { g.SetMaxValue(9); }), "Value must be between 11 and 2147483647");
    EXPECT_EQ(g.MaxValue(), 100);
    EXPECT_EQ(g.Progress(), 50);
    g.SetMaxValue(40);
    EXPECT_EQ(g.Progress(), 40);
}

TEST(TGaugeRange, BoundsAtTheEndsOfInt)
{
    TGauge g;
    // The bounds are computed without wrapping around.
    g.SetMinValue(INT_MIN);
    g.SetMaxValue(INT_MIN);
    EXPECT_EQ(MessageOf([&] { g.SetMinValue(INT_MIN + 1); }),
              "Value must be between -2147483647 and -2147483649");
    g.SetMaxValue(INT_MAX);
    g.SetMinValue(INT_MAX);
    EXPECT_EQ(MessageOf([&] { g.SetMaxValue(0); }),
              "Value must be between 2147483648 and 2147483647");
}

TEST(TGaugeRange, LoadingSkipsTheChecks)
{
    TGauge g;
    g.SetLoading(true);
    g.SetMinValue(150); // a layout may set MinValue before MaxValue
    g.SetMaxValue(300);
    g.SetLoading(false);
    EXPECT_EQ(g.MinValue(), 150);
    EXPECT_EQ(g.MaxValue(), 300);
    EXPECT_EQ(g.Progress(), 150);
    EXPECT_THROW(g.SetMinValue(301), EInvalidOperation);
}

TEST(TGaugeRepaint, OnlyWhenTheWholePercentageChanges)
{
    TShownGauge s;
    s.Widget->SetMaxValue(1000);
    int paints = s.Paints.Count();
    s.Widget->SetProgress(10); // 1 %
    EXPECT_EQ(s.Paints.Count(), ++paints);
    s.Widget->SetProgress(15); // still 1 %: stored, not painted
    EXPECT_EQ(s.Widget->Progress(), 15);
    EXPECT_EQ(s.Paints.Count(), paints);
    s.Widget->SetProgress(15);
    EXPECT_EQ(s.Paints.Count(), paints);
    s.Widget->SetProgress(20);
    EXPECT_EQ(s.Paints.Count(), ++paints);
    s.Widget->SetProgress(-7); // clamped to 0 -> 0 %
    EXPECT_EQ(s.Paints.Count(), ++paints);
    s.Widget->SetProgress(-8); // clamped to the stored value: nothing
    EXPECT_EQ(s.Paints.Count(), paints);
}

TEST(TGaugeRepaint, ATransferPaintsAtMostOncePerPercent)
{
    TShownGauge s;
    s.Widget->SetMaxValue(12345);
    const int paints = s.Paints.Count();
    for (int v = 0; v <= 12345; ++v)
        s.Widget->SetProgress(v);
    EXPECT_EQ(s.Paints.Count() - paints, 100);
}

TEST(TGaugeRepaint, VisualSettersPaintOncePerChange)
{
    TShownGauge s;
    int paints = s.Paints.Count();
    auto expectOne = [&](const char* what, const std::function<void()>& set) {
        set();
        EXPECT_EQ(s.Paints.Count(), ++paints) << what;
        set();
        EXPECT_EQ(s.Paints.Count(), paints) << what << " again";
    };
    expectOne("Kind", [&] { s.Widget->SetKind(gkPie); });
    expectOne("ShowText", [&] { s.Widget->SetShowText(false); });
    expectOne("BorderStyle", [&] { s.Widget->SetBorderStyle(bsNone); });
    expectOne("ForeColor", [&] { s.Widget->SetForeColor(clNavy); });
    expectOne("BackColor", [&] { s.Widget->SetBackColor(clLime); });
    expectOne("Color", [&] { s.Widget->SetColor(clMaroon); });
    expectOne("MinValue", [&] { s.Widget->SetMinValue(-10); });
    expectOne("MaxValue", [&] { s.Widget->SetMaxValue(10); });
}

TEST(TGaugeRepaint, HiddenGaugeDoesNotPaint)
{
    TGauge g;
    TPaintCounter paints(g);
    g.SetProgress(50);
    g.SetKind(gkPie);
    EXPECT_EQ(paints.Count(), 0);
}

TEST(TGaugeWidget, MainWindowGaugeOnScreen)
{
    TGauge g;
    g.resize(409, 21);
    g.SetProgress(42);
    const QImage image = RenderOver(g, 0xFFFF00FF);
    for (int x = 1; x <= 170; ++x)
        EXPECT_EQ(image.pixel(x, 2), 0xFF000000u) << x;
    EXPECT_EQ(image.pixel(171, 2), 0xFFFFFFFFu);
    EXPECT_EQ(image.pixel(407, 19), 0xFFFFFFFFu);
    for (int x = 0; x < 409; ++x) {
        EXPECT_EQ(image.pixel(x, 0), 0xFF000000u) << x;
        EXPECT_EQ(image.pixel(x, 20), 0xFF000000u) << x;
    }
    for (int y = 0; y < 21; ++y) {
        EXPECT_EQ(image.pixel(0, y), 0xFF000000u) << y;
        EXPECT_EQ(image.pixel(408, y), 0xFF000000u) << y;
    }
    // The widget shows exactly the composed picture, text included.
    EXPECT_EQ(image, RenderGauge(g.Picture()));
}

TEST(TGaugeWidget, PictureCarriesTheResolvedColours)
{
    TGauge g;
    g.SetForeColor(clMaroon);
    g.SetBackColor(clWindow);
    g.SetKind(gkNeedle);
    g.SetProgress(33);
    const TGaugePicture p = g.Picture();
    EXPECT_EQ(p.ForeColor, QColor(0x80, 0, 0));
    EXPECT_EQ(p.BackColor, QGuiApplication::palette().color(QPalette::Base));
    EXPECT_EQ(p.Kind, gkNeedle);
    EXPECT_EQ(p.Percent, 33);
    EXPECT_EQ(p.Color, g.palette().color(QPalette::Window)); // follows the parent
    g.SetColor(clGreen);
    EXPECT_EQ(g.Picture().Color, QColor(0, 0x80, 0));
    EXPECT_EQ(g.Color(), clGreen);
}

} // namespace
