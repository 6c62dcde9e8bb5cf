#include "widgets/TTipTrackBar.h"
#include "tests/widgets/WidgetTestSupport.h"

#include <QApplication>
#include <QEnterEvent>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleFactory>
#include <QTest>
#include <QToolTip>
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <vector>

namespace {

// A shown track bar inside a window, and a way to drive it with the mouse.
struct TShownBar
{
    QWidget Window;
    TTipTrackBar* Bar = new TTipTrackBar(&Window); // owned by Window

    TShownBar()
    {
        Window.resize(400, 200);
        Bar->setGeometry(100, 80, 200, 45);
        ShowExposed(Window);
    }

    void Send(QEvent::Type type, QPoint at, Qt::MouseButtons buttons)
    {
        QMouseEvent event(type, QPointF(at), QPointF(Bar->mapToGlobal(at)), Qt::LeftButton, buttons,
                          Qt::NoModifier);
        QApplication::sendEvent(Bar, &event);
    }
    void Press(QPoint at) { Send(QEvent::MouseButtonPress, at, Qt::LeftButton); }
    void Move(QPoint at) { Send(QEvent::MouseMove, at, Qt::LeftButton); }
    void Release(QPoint at) { Send(QEvent::MouseButtonRelease, at, Qt::NoButton); }

    // Drags the thumb from its place to the far right in small steps, without releasing.
    QPoint DragRight()
    {
        QPoint at = Bar->ThumbRect().center();
        Press(at);
        while (at.x() < Bar->width() + 20) {
            at.rx() += 3;
            Move(at);
        }
        return at;
    }
};

TEST(TTipTrackBarConstruction, InitialValues)
{
    TTipTrackBar bar;
    EXPECT_EQ(bar.Min(), 0);
    EXPECT_EQ(bar.Max(), 10);
    EXPECT_EQ(bar.Position(), 0);
    EXPECT_EQ(bar.size(), QSize(150, 45));
    EXPECT_EQ(bar.Orientation(), trHorizontal);
    EXPECT_EQ(bar.LineSize(), 1);
    EXPECT_EQ(bar.PageSize(), 2);
    EXPECT_EQ(bar.Frequency(), 1);
    EXPECT_EQ(bar.TickStyle(), tsAuto);
    EXPECT_EQ(bar.TickMarks(), tmBottomRight);
    EXPECT_EQ(bar.HintColor(), clInfoBk);
    EXPECT_EQ(bar.ToolTipSide(), tsLeft);
    EXPECT_TRUE(bar.ShowRange());
    EXPECT_FALSE(bar.ToolTips());
    EXPECT_FALSE(bar.OnChange());
}

TEST(TTipTrackBarProperties, TicksFollowStyleMarksAndFrequency)
{
    TTipTrackBar bar;
    bar.SetMax(20);
    bar.SetFrequency(4);
    EXPECT_EQ(bar.tickInterval(), 4);
    bar.SetTickStyle(tsNone);
    EXPECT_EQ(bar.tickPosition(), QSlider::NoTicks);
    bar.SetTickMarks(tmBoth); // remembered while ticks are off
    EXPECT_EQ(bar.tickPosition(), QSlider::NoTicks);
    bar.SetTickStyle(tsAuto);
    EXPECT_EQ(bar.tickPosition(), QSlider::TicksBothSides);
    bar.SetTickStyle(tsManual); // only the two ends are marked
    EXPECT_EQ(bar.tickInterval(), 20);
    bar.SetMin(5);
    bar.SetMax(30);
    EXPECT_EQ(bar.tickInterval(), 25);
    bar.SetTickStyle(tsAuto);
    bar.SetFrequency(0); // never a zero interval, which would let Qt pick its own
    EXPECT_EQ(bar.tickInterval(), 1);
}

TEST(TTipTrackBarProperties, VerticalBarHasItsMinimumAtTheTop)
{
    TTipTrackBar bar;
    bar.SetOrientation(trVertical);
    bar.resize(45, 200);
    bar.SetPosition(0);
    const int top = bar.ThumbRect().center().y();
    bar.SetPosition(10);
    EXPECT_GT(bar.ThumbRect().center().y(), top);
    bar.SetOrientation(trHorizontal);
    bar.resize(200, 45);
    const int right = bar.ThumbRect().center().x();
    bar.SetPosition(0);
    EXPECT_LT(bar.ThumbRect().center().x(), right);
}

TEST(TTipTrackBarChange, HintFollowsThePositionThroughOnChange)
{
    TTipTrackBar bar;
    bar.SetMax(15);
    bar.SetPosition(10);
    bar.SetOnChange([&](QObject*) { bar.SetHint(QString::number(bar.Position())); });
    bar.OnChange()(&bar); // what the window does once at creation
    EXPECT_EQ(bar.Hint(), "10");
    bar.SetPosition(0);
    EXPECT_EQ(bar.Hint(), "0");
    bar.SetPosition(15);
    EXPECT_EQ(bar.Hint(), "15");
}

TEST(TTipTrackBarChange, HandlerErrorsReachTheCaller)
{
    TTipTrackBar bar;
    bar.SetOnChange([](QObject*) { throw std::runtime_error("handler failed"); });
    EXPECT_THROW(bar.SetPosition(3), std::runtime_error);
    EXPECT_EQ(bar.Position(), 3);
}

TEST(TTipTrackBarChange, OncePerStepOfADragAndNotForItsEnd)
{
    TShownBar s;
    std::vector<int> positions;
    s.Bar->SetOnChange([&](QObject* sender) {
        EXPECT_EQ(sender, s.Bar);
        positions.push_back(s.Bar->Position());
    });
    const QPoint end = s.DragRight();
    ASSERT_EQ(s.Bar->Position(), 10);
    ASSERT_FALSE(positions.empty());
    for (size_t i = 0; i < positions.size(); ++i) {
        const int previous = i == 0 ? 0 : positions[i - 1];
        EXPECT_NE(positions[i], previous) << "a notification without a step";
    }
    EXPECT_EQ(positions.back(), 10);
    const size_t duringMove = positions.size();
    s.Release(end);
    EXPECT_EQ(positions.size(), duringMove);
    EXPECT_EQ(s.Bar->Position(), 10);
}

TEST(TTipTrackBarChange, KeyStepsNotifyOnce)
{
    TShownBar s;
    int changes = 0;
    s.Bar->SetOnChange([&](QObject*) { ++changes; });
    s.Bar->setFocus();
    QTest::keyClick(s.Bar, Qt::Key_Right);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(s.Bar->Position(), 1);
    QTest::keyClick(s.Bar, Qt::Key_End);
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(s.Bar->Position(), 10);
    QTest::keyClick(s.Bar, Qt::Key_End); // already there: nothing moves
    EXPECT_EQ(changes, 2);
}

TEST(TTipTrackBarChanged, RaisedAfterEveryReleaseMovedOrNot)
{
    TShownBar s;
    int changed = 0, ups = 0, downs = 0;
    std::vector<std::string> order;
    s.Bar->SetOnChanged([&](QObject* sender) {
        EXPECT_EQ(sender, s.Bar);
        ++changed;
        order.push_back("changed");
    });
    s.Bar->SetOnMouseUp([&](QObject*, Qt::MouseButton b, Qt::KeyboardModifiers, int, int) {
        EXPECT_EQ(b, Qt::LeftButton);
        ++ups;
        order.push_back("up");
    });
    s.Bar->SetOnMouseDown(
        [&](QObject*, Qt::MouseButton, Qt::KeyboardModifiers, int, int) { ++downs; });
    const QPoint thumb = s.Bar->ThumbRect().center();
    s.Press(thumb);
    EXPECT_EQ(changed, 0);
    s.Release(thumb); // a click that moves nothing
    EXPECT_EQ(changed, 1);
    s.Release(s.DragRight());
    EXPECT_EQ(changed, 2);
    EXPECT_EQ(downs, 2);
    EXPECT_EQ(ups, 2);
    EXPECT_EQ(order, (std::vector<std::string>{"up", "changed", "up", "changed"}));
}

TEST(TTipTrackBarToolTip, SideStoredBeforeTheWindowExistsAndAppliedAfter)
{
    QWidget window;
    auto* bar = new TTipTrackBar(&window); // owned by window
    bar->SetToolTipSide(tsRight);
    EXPECT_EQ(bar->ToolTipSide(), tsRight);
    EXPECT_FALSE(bar->LiveToolTipSide().has_value());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(bar->LiveToolTipSide(), tsRight);
    bar->SetToolTipSide(tsBottom); // a live control takes it at once
    EXPECT_EQ(bar->LiveToolTipSide(), tsBottom);
}

TEST(TTipTrackBarToolTip, PositionTipBesideTheThumbWhileDragging)
{
    for (TTipTrackToolTipSide side : {tsLeft, tsTop, tsRight, tsBottom}) {
        TShownBar s;
        s.Bar->SetToolTips(true);
        s.Bar->SetToolTipSide(side);
        QPoint at = s.Bar->ThumbRect().center();
        s.Press(at);
        at.rx() += 40;
        s.Move(at);
        const QLabel* tip = s.Bar->PositionTip();
        ASSERT_NE(tip, nullptr);
        ASSERT_TRUE(tip->isVisible());
        EXPECT_EQ(tip->text(), QString::number(s.Bar->Position()));
        const QRect thumb(s.Bar->mapToGlobal(s.Bar->ThumbRect().topLeft()),
                          s.Bar->ThumbRect().size());
        const QRect box = tip->geometry();
        switch (side) {
        case tsLeft:
            EXPECT_LT(box.right(), thumb.left());
            break;
        case tsRight:
            EXPECT_GT(box.left(), thumb.right());
            break;
        case tsTop:
            EXPECT_LT(box.bottom(), thumb.top());
            break;
        case tsBottom:
            EXPECT_GT(box.top(), thumb.bottom());
            break;
        }
        s.Release(at);
        EXPECT_FALSE(tip->isVisible()) << "tip stays after the drag";
    }
}

TEST(TTipTrackBarToolTip, TipGoesWhenTheControlIsHiddenMidDrag)
{
    TShownBar s;
    s.Bar->SetToolTips(true);
    s.DragRight();
    ASSERT_NE(s.Bar->PositionTip(), nullptr);
    ASSERT_TRUE(s.Bar->PositionTip()->isVisible());
    s.Bar->hide();
    EXPECT_FALSE(s.Bar->PositionTip()->isVisible());
}

TEST(TTipTrackBarToolTip, NoTipWhenToolTipsIsOff)
{
    TShownBar s;
    const QPoint end = s.DragRight();
    EXPECT_TRUE(s.Bar->PositionTip() == nullptr || !s.Bar->PositionTip()->isVisible());
    s.Release(end);
}

TEST(TTipTrackBarToolTip, OnToolTipMayRewriteTheText)
{
    TTipTrackBar bar;
    bar.SetPosition(7);
    EXPECT_EQ(bar.ToolTipText(), "7");
    bar.SetOnToolTip([](QObject*, QString& text) { text = "at " + text; });
    EXPECT_EQ(bar.ToolTipText(), "at 7");
    EXPECT_EQ(bar.LastToolTipText(), "at 7");
    bar.SetOnToolTip([](QObject*, QString&) {}); // untouched: the plain position
    EXPECT_EQ(bar.ToolTipText(), "7");
    bar.SetOnToolTip([](QObject*, QString& text) { text.clear(); });
    EXPECT_EQ(bar.ToolTipText(), "");
}

TEST(TTipTrackBarToolTip, DraggedTipShowsTheRewrittenText)
{
    TShownBar s;
    s.Bar->SetToolTips(true);
    s.Bar->SetOnToolTip([](QObject*, QString& text) { text += " ms"; });
    const QPoint end = s.DragRight();
    ASSERT_NE(s.Bar->PositionTip(), nullptr);
    EXPECT_EQ(s.Bar->PositionTip()->text(), "10 ms");
    s.Release(end);
}

QColor TipColour(QPalette::ColorGroup group = QPalette::Active)
{
    return QToolTip::palette().color(group, QPalette::ToolTipBase);
}

void Enter(QWidget* w)
{
    QEnterEvent event(QPointF(1, 1), QPointF(1, 1), QPointF(w->mapToGlobal(QPoint(1, 1))));
    QApplication::sendEvent(w, &event);
}

void Leave(QWidget* w)
{
    QEvent event(QEvent::Leave);
    QApplication::sendEvent(w, &event);
}

TEST(TTipTrackBarHintColour, AppliedOnEnterRestoredOnLeave)
{
    const QPalette original = QToolTip::palette();
    QPalette start = original;
    start.setColor(QPalette::Active, QPalette::ToolTipBase, QColor(1, 2, 3));
    start.setColor(QPalette::Inactive, QPalette::ToolTipBase, QColor(4, 5, 6));
    QToolTip::setPalette(start);

    TTipTrackBar bar;
    bar.SetHintColor(clRed);
    int enters = 0, leaves = 0;
    bar.SetOnMouseEnter([&](QObject* sender) {
        EXPECT_EQ(sender, &bar);
        ++enters;
        EXPECT_EQ(TipColour(), QColor(255, 0, 0)); // already applied
    });
    bar.SetOnMouseLeave([&](QObject*) {
        ++leaves;
        EXPECT_EQ(TipColour(), QColor(1, 2, 3)); // already restored
    });
    for (int i = 0; i < 2; ++i) {
        Enter(&bar);
        EXPECT_EQ(TipColour(), QColor(255, 0, 0));
        EXPECT_EQ(TipColour(QPalette::Inactive), QColor(255, 0, 0));
        Leave(&bar);
        EXPECT_EQ(TipColour(), QColor(1, 2, 3));
        EXPECT_EQ(TipColour(QPalette::Inactive), QColor(4, 5, 6));
    }
    EXPECT_EQ(enters, 2);
    EXPECT_EQ(leaves, 2);
    QToolTip::setPalette(original);
}

TEST(TTipTrackBarHintColour, SystemHintColourResolvesThroughThePalette)
{
    const QPalette original = QToolTip::palette();
    TTipTrackBar bar; // HintColor = clInfoBk
    bar.SetHintColor(clHighlight);
    Enter(&bar);
    EXPECT_EQ(TipColour(), QGuiApplication::palette().color(QPalette::Highlight));
    Leave(&bar);
    EXPECT_EQ(TipColour(), original.color(QPalette::ToolTipBase));
    QToolTip::setPalette(original);
}

TEST(TTipTrackBarNotifications, PaletteAndStyleChanges)
{
    const std::unique_ptr<QStyle> style(QStyleFactory::create("Fusion"));
    ASSERT_NE(style, nullptr);
    QWidget parent;
    auto* bar = new TTipTrackBar(&parent); // owned by parent
    int colour = 0, threeD = 0;
    bar->SetOnParentColorChange([&](QObject* sender) {
        EXPECT_EQ(sender, bar);
        ++colour;
    });
    bar->SetOnCtl3DChanged([&](QObject*) { ++threeD; });
    QPalette pal = parent.palette();
    pal.setColor(QPalette::Window, Qt::darkCyan);
    parent.setPalette(pal);
    EXPECT_GE(colour, 1);
    bar->setStyle(style.get());
    EXPECT_GE(threeD, 1);
    bar->setStyle(nullptr); // back to the application style before the style goes
}

struct TRangeRenders
{
    QImage Plain;
    QImage WithRange;
};

// Renders a 200x45 bar without and then with the selection 2..7, which it keeps.
TRangeRenders RenderWithRange(TTipTrackBar& bar)
{
    bar.resize(200, 45);
    RenderOver(bar, 0xFFFF00FF); // the first render polishes the control
    TRangeRenders renders;
    renders.Plain = RenderOver(bar, 0xFFFF00FF);
    bar.SetSelStart(2);
    bar.SetSelEnd(7);
    renders.WithRange = RenderOver(bar, 0xFFFF00FF);
    return renders;
}

TEST(TTipTrackBarRange, HiddenRangeKeepsTheSelection)
{
    TTipTrackBar bar;
    const auto [plain, withRange] = RenderWithRange(bar);
    EXPECT_NE(withRange, plain);
    bar.SetShowRange(false);
    EXPECT_EQ(bar.SelStart(), 2);
    EXPECT_EQ(bar.SelEnd(), 7);
    EXPECT_EQ(RenderOver(bar, 0xFFFF00FF), plain);
    bar.SetShowRange(true);
    EXPECT_EQ(RenderOver(bar, 0xFFFF00FF), withRange);
}

TEST(TTipTrackBarRange, RangeDrawnBetweenItsEnds)
{
    TTipTrackBar bar;
    const auto [plain, withRange] = RenderWithRange(bar);
    // Positions of the range ends along the groove.
    bar.SetPosition(2);
    const int from = bar.ThumbRect().center().x();
    bar.SetPosition(7);
    const int to = bar.ThumbRect().center().x();
    bar.SetPosition(0);
    int changedInside = 0;
    for (int y = 0; y < plain.height(); ++y)
        for (int x = 0; x < plain.width(); ++x)
            if (plain.pixel(x, y) != withRange.pixel(x, y)) {
                EXPECT_TRUE(x >= from - 1 && x <= to + 1) << x << "," << y;
                ++changedInside;
            }
    EXPECT_GT(changedInside, to - from);
}

TEST(TTipTrackBarHint, ShowHintFalseSuppressesTheHint)
{
    TShownBar s;
    s.Bar->SetHint("10");
    const QPoint at = s.Bar->rect().center();
    QHelpEvent shown(QEvent::ToolTip, at, s.Bar->mapToGlobal(at));
    QApplication::sendEvent(s.Bar, &shown);
    EXPECT_EQ(QToolTip::text(), "10");
    QToolTip::hideText();
    EXPECT_TRUE(QTest::qWaitFor([] { return !QToolTip::isVisible(); }, 10000));

    s.Bar->SetShowHint(false);
    QHelpEvent suppressed(QEvent::ToolTip, at, s.Bar->mapToGlobal(at));
    QApplication::sendEvent(s.Bar, &suppressed);
    EXPECT_FALSE(QToolTip::isVisible());
}

} // namespace
