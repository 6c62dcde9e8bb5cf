#include "app/TFindBar.h"
#include "app/TTerminalView.h"
#include "terminal/HexDump.h"
#include "terminal/LineTimeText.h"
#include "tests/app/EventLoopWait.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QGlyphRun>
#include <QLineEdit>
#include <QMenu>
#include <QRawFont>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QTextLayout>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

namespace {

QStringList Lines(TTerminalView& view)
{
    QStringList lines;
    for (int i = 0; i < view.LineCount(); ++i)
        lines << view.LineText(i);
    return lines;
}

TEST(TerminalView, AppendsReceivedBytesInOrder)
{
    TTerminalView view;
    view.AppendReceived("Boot\r");
    view.AppendReceived("\nMenu: 1 2\r\n");
    view.AppendReceived("> ");
    view.FlushReceived();
    EXPECT_EQ(view.Text(), "Boot\nMenu: 1 2\n> ");
    EXPECT_EQ(view.LineCount(), 3);
}

TEST(TerminalView, StartsEmptyWithoutLinesAndClearsToEmpty)
{
    TTerminalView view;
    EXPECT_EQ(view.LineCount(), 0);
    view.AppendReceived("x\ny");
    view.FlushReceived();
    view.AppendReceived("pending");
    view.ClearText();
    EXPECT_EQ(view.LineCount(), 0);
    EXPECT_EQ(view.Text(), "");
    EXPECT_EQ(view.LineText(0), "");
}

TEST(TerminalView, LineEndAfterAClearIsNotTakenForTheSecondHalfOfCrLf)
{
    TTerminalView view;
    view.AppendReceived("prompt\r");
    view.ClearText();
    view.AppendReceived("\nnext");
    view.FlushReceived();
    EXPECT_EQ(view.Text(), "\nnext");
    view.AppendReceived("\r");
    view.ReplaceText("Send file");
    view.AppendReceived("\nok");
    view.FlushReceived();
    EXPECT_EQ(view.Text(), "Send file\nok");
}

TEST(TerminalView, LineEditingForTheTransferDisplay)
{
    TTerminalView view;
    view.AppendReceived("old text");
    view.ReplaceText("Send file");
    view.AppendLine("");
    view.AppendLine("");
    EXPECT_EQ(Lines(view), (QStringList{"Send file", "", ""}));

    view.DeleteLine(2);
    view.AppendLine("ABCD");
    EXPECT_EQ(Lines(view), (QStringList{"Send file", "", "ABCD"}));
    view.DeleteLine(2);
    view.AppendLine("OK");
    EXPECT_EQ(Lines(view), (QStringList{"Send file", "", "OK"}));

    view.DeleteLine(7); // out of range: nothing happens
    view.DeleteLine(-1);
    EXPECT_EQ(Lines(view), (QStringList{"Send file", "", "OK"}));
    EXPECT_EQ(view.LineText(3), "");
}

TEST(TerminalView, DeleteFirstMiddleAndOnlyLine)
{
    TTerminalView view;
    view.ReplaceText("a\nb\nc");
    view.DeleteLine(1);
    EXPECT_EQ(Lines(view), (QStringList{"a", "c"}));
    view.DeleteLine(0);
    EXPECT_EQ(Lines(view), QStringList{"c"});
    view.DeleteLine(0);
    EXPECT_EQ(view.LineCount(), 0);
}

TEST(TerminalView, AddingLinesToAnEmptyTerminal)
{
    TTerminalView view;
    view.AppendLine("AB");
    view.AppendLine("CD");
    EXPECT_EQ(Lines(view), (QStringList{"AB", "CD"}));
}

TEST(TerminalView, FollowsTheEndUnlessScrolledBack)
{
    TTerminalView view;
    view.resize(200, 100);
    view.show();
    for (int i = 0; i < 200; ++i)
        view.AppendReceived("line " + std::to_string(i) + "\r\n");
    view.FlushReceived();
    QScrollBar* bar = view.verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());

    const int readingAt = bar->maximum() / 2; // the operator reads something further up
    bar->setValue(readingAt);
    view.AppendReceived("more\r\nand more\r\n");
    view.FlushReceived();
    EXPECT_EQ(bar->value(), readingAt);
    bar->setValue(bar->maximum());
    view.AppendReceived("last\r\n");
    view.FlushReceived();
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_EQ(view.LineText(bar->value()), "");
}

TEST(TerminalView, PiecesReachThePaneWithinAnInterval)
{
    TTerminalView view;
    view.resize(200, 100);
    view.show();
    QScrollBar* bar = view.verticalScrollBar();
    for (int i = 0; i < 100; ++i)
        view.AppendReceived(i % 2 ? "\n" : "Rec\r");
    EXPECT_EQ(view.LineCount(), 51); // stored at once; each CR LF split in two is one line end
    EXPECT_EQ(bar->maximum(), 0);    // the pane catches up on its own a moment later
    ASSERT_TRUE(WaitUntil([&] { return bar->maximum() == 50; }));
    EXPECT_EQ(bar->value(), 50);
}

TEST(TerminalView, LineOperationsSeePendingTextFirst)
{
    TTerminalView view;
    view.AppendReceived("a\r\nb");
    EXPECT_EQ(view.LineCount(), 2);
    view.AppendReceived("c");
    view.AppendLine("d");
    EXPECT_EQ(Lines(view), (QStringList{"a", "bc", "d"}));
    view.AppendReceived("lost");
    view.ReplaceText("Send file"); // replaces what was pending as well
    EXPECT_EQ(Lines(view), QStringList{"Send file"});
    WaitUntil([] { return false; }, 3 * TTerminalView::FlushIntervalMs);
    EXPECT_EQ(Lines(view), QStringList{"Send file"});
}

} // namespace

namespace {

TEST(TerminalView, SelectingAndCopyingWithMouseAndKeyboard)
{
    TTerminalView view;
    view.resize(300, 200);
    view.show();
    view.AppendReceived("first line\r\nsecond line\r\nthird");
    view.FlushReceived();
    QWidget* pane = view.viewport();
    const int rowHeight = view.fontMetrics().lineSpacing();
    QTest::mousePress(pane, Qt::LeftButton, {}, QPoint(4, 4 + rowHeight / 2));
    QTest::mouseMove(pane, QPoint(4 + view.fontMetrics().horizontalAdvance("sec"),
                                  4 + rowHeight + rowHeight / 2));
    QTest::mouseRelease(
        pane, Qt::LeftButton, {},
        QPoint(4 + view.fontMetrics().horizontalAdvance("sec"), 4 + rowHeight + rowHeight / 2));
    EXPECT_EQ(view.SelectedText(), "first line\nsec");

    QTest::keyClick(&view, Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyClick(&view, Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(view.SelectedText(), "first line\nsecond line\nthir");
    QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "first line\nsecond line\nthir");
    QTest::keyClick(&view, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), view.Text());

    // Typing changes nothing, and Tab keeps the focus in the terminal.
    view.setFocus();
    QTest::keyClicks(&view, "xyz\t");
    EXPECT_EQ(view.Text(), "first line\nsecond line\nthird");
    EXPECT_TRUE(view.hasFocus() || !QApplication::focusWidget());
}

TEST(TerminalView, ControlPicturesAreDrawnWithAFontThatHasThem)
{
    TTerminalView view;
    view.setFont(QFont("Comic Neue", 13));
    QTextLayout layout(QString::fromUtf16(u"\u2408\u241B"), view.font());
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    const QList<QGlyphRun> runs = layout.glyphRuns();
    ASSERT_FALSE(runs.isEmpty());
    for (const QGlyphRun& run : runs)
        EXPECT_TRUE(run.rawFont().supportsCharacter(0x2408u))
            << run.rawFont().familyName().toStdString() << ": install fonts-freefont-ttf";
}

} // namespace

namespace {

// Lines laid out for one repaint are used again for the next; a line changed in between must
// never be painted as it was.
TEST(TerminalView, RepaintsShowTheTextAsItIsNow)
{
    // What the screen shows: the pane's pixels as the last repaints left them.
    const auto picture = [](const std::function<void(TTerminalView&)>& steps) {
        TTerminalView view;
        view.resize(200, 120);
        view.show();
        steps(view);
        view.FlushReceived();
        WaitUntil([] { return false; }, 50);
        return QGuiApplication::primaryScreen()->grabWindow(view.winId()).toImage();
    };
    const auto painted = [](TTerminalView& view) {
        view.FlushReceived();
        WaitUntil([] { return false; }, 50);
    };
    const struct
    {
        const char* Name;
        std::function<void(TTerminalView&)> Steps;
        QString Shown;
    } cases[] = {
        {"backspace over a painted line",
         [&](TTerminalView& view) {
             view.AppendReceived("one\r\nabc");
             painted(view);
             view.AppendReceived("\b\bX");
         },
         "one\naXc"},
        {"the transfer's answer line",
         [&](TTerminalView& view) {
             view.ReplaceText("Send file\n\nABCD");
             painted(view);
             view.DeleteLine(2);
             view.AppendLine("OK");
         },
         "Send file\n\nOK"},
        {"lines that move the pane up",
         [&](TTerminalView& view) {
             for (int i = 0; i < 20; ++i) {
                 view.AppendReceived("line " + std::to_string(i) + "\r\n");
                 painted(view);
             }
             view.AppendReceived("spin |\b/");
         },
         [] {
             QString shown;
             for (int i = 0; i < 20; ++i)
                 shown += QStringLiteral("line %1\n").arg(i);
             return shown + "spin /";
         }()},
        {"a line end after a painted line",
         [&](TTerminalView& view) {
             view.AppendReceived("first");
             painted(view);
             view.DeleteLine(0);
             view.AppendReceived("second");
         },
         "second"},
    };
    for (const auto& c : cases) {
        const QImage after = picture(c.Steps);
        const QImage fresh = picture([&](TTerminalView& view) { view.ReplaceText(c.Shown); });
        EXPECT_TRUE(after == fresh) << c.Name;
    }
}

} // namespace

namespace {

// The current match is brought into sight, wherever it lies; the pane stays put while it is.
TEST(TerminalView, FindScrollsToEachMatchOutOfSight)
{
    TTerminalView view;
    view.resize(300, 150);
    view.show();
    std::string text;
    for (int i = 0; i < 3000; ++i)
        text += "line " + std::to_string(i) + (i == 40 || i == 2500 ? " needle\r\n" : "\r\n");
    view.AppendReceived(text);
    view.FlushReceived();
    QScrollBar* bar = view.verticalScrollBar();
    ASSERT_EQ(bar->value(), bar->maximum());
    const auto shows = [&](int line) {
        const bool found = WaitUntil([&] {
            return view.CurrentMatch() && view.LineText(line).contains("needle") &&
                   view.CurrentMatch() ==
                       view.Text().indexOf(QStringLiteral("line %1 needle").arg(line)) +
                           QStringLiteral("line %1 ").arg(line).size();
        });
        return found && line <= bar->value() && line > bar->value() - bar->pageStep() + 1;
    };

    view.OpenFind();
    QTest::keyClicks(view.FindBar()->Edit(), QStringLiteral("needle"));
    EXPECT_TRUE(shows(40)); // from what was shown at the end, round to the start
    view.FindNext();
    EXPECT_TRUE(shows(2500));
    view.FindPrevious();
    EXPECT_TRUE(shows(40));
    view.AppendReceived("more\r\n");
    view.FlushReceived();
    EXPECT_TRUE(shows(40));
}

} // namespace

namespace {

// Copy never builds more than its bound, whatever is selected, and says where the rest is.
TEST(TerminalView, CopyingAHugeSelectionCopiesItsStartAndSaysSo)
{
    EXPECT_EQ(TTerminalView::CopyLimit, std::uint64_t{64} << 20);
    TTerminalView view;
    QStringList notices;
    view.ShowNotice = [&](const QString& text) { notices << text; };
    view.SetCopyLimit(1000);
    const struct
    {
        int Size;
        int Copied;
        int Notices;
    } cases[] = {{1000, 1000, 0}, {2500, 1000, 1}};
    for (const auto& c : cases) {
        notices.clear();
        view.ClearText();
        std::string text;
        for (int i = 0; static_cast<int>(text.size()) < c.Size; ++i)
            text += "row " + std::to_string(i) + "\n"; // one character a byte
        text.resize(static_cast<std::size_t>(c.Size));
        view.AppendReceived(text);
        view.FlushReceived();
        view.SelectAll();
        view.CopySelection();
        const QString copied = QApplication::clipboard()->text();
        EXPECT_EQ(copied.size(), c.Copied) << c.Size;
        EXPECT_EQ(copied, view.Text().left(c.Copied)) << c.Size;
        ASSERT_EQ(notices.size(), c.Notices) << c.Size;
        if (c.Notices > 0) {
            EXPECT_TRUE(notices[0].contains("Save log")) << notices[0].toStdString();
        }
    }
}

// The middle of a line of megabytes can be brought into the pane, by the horizontal bar and by
// the find bar.
TEST(TerminalView, TheMiddleOfAHugeLineCanBeShown)
{
    TTerminalView view;
    view.resize(400, 200);
    view.show();
    // Every word is its own offset in the line, so what the pane shows says where it is.
    constexpr int Words = (2 << 20) / 8;
    std::string line;
    line.reserve(Words * 8);
    char word[16];
    for (int i = 0; i < Words; ++i) {
        std::snprintf(word, sizeof word, "%07d ", i * 8);
        line += i == Words / 3 ? std::string("needle! ") : std::string(word);
    }
    view.AppendReceived(line + "\r\nlast line\r\n");
    view.FlushReceived();
    // Where the word shown in the middle of the pane sits in the line, -1 when not in it.
    const auto shownOffset = [&] {
        view.FlushReceived();
        QWidget* pane = view.viewport();
        const int y = pane->height() / 2;
        QTest::mousePress(pane, Qt::LeftButton, {}, QPoint(6, y));
        QTest::mouseRelease(pane, Qt::LeftButton, {}, QPoint(pane->width() - 6, y));
        const QString row = view.SelectedText();
        static const QRegularExpression number(QStringLiteral("(\\d{7}) "));
        const auto found = number.match(row);
        return found.hasMatch() ? found.captured(1).toInt() : -1;
    };
    QScrollBar* down = view.verticalScrollBar();
    QScrollBar* across = view.horizontalScrollBar();
    EXPECT_EQ(across->maximum(), 0); // a short line at the bottom: nothing to move through
    down->setValue(0);
    ASSERT_GT(across->maximum(), 100);
    EXPECT_GT(shownOffset(), Words * 8 - 8192); // the line's end first

    across->setValue(across->maximum() / 2);
    const int middle = shownOffset();
    EXPECT_GT(middle, Words * 4 - 8192);
    EXPECT_LT(middle, Words * 4 + 8192);

    down->setValue(down->maximum());
    view.OpenFind();
    QTest::keyClicks(view.FindBar()->Edit(), QStringLiteral("needle!"));
    ASSERT_TRUE(WaitUntil([&] { return view.CurrentMatch().has_value(); }));
    const int nearMatch = shownOffset();
    EXPECT_GT(nearMatch, Words / 3 * 8 - 8192);
    EXPECT_LT(nearMatch, Words / 3 * 8 + 4096);
}

} // namespace

namespace {

QAction* MenuAction(const QMenu& menu, const QString& text)
{
    for (QAction* action : menu.actions())
        if (action->text() == text) return action;
    return nullptr;
}

std::string SavedLog(const TTerminalView& view)
{
    const auto path = std::filesystem::path(testing::TempDir()) / "tarvel-stamped.log";
    view.SaveLog(QString::fromStdString(path.string()));
    std::ifstream saved(path, std::ios::binary);
    std::string bytes(std::istreambuf_iterator<char>(saved), {});
    std::filesystem::remove(path);
    return bytes;
}

TEST(TerminalView, TimestampsInTheGutterAndTheSavedLog)
{
    TTerminalView view;
    view.resize(400, 200);
    view.show();
    std::int64_t now = 0;
    const auto at = [](std::int64_t ms) { return TLineTime(std::chrono::milliseconds(ms)); };
    view.SetClock([&] { return at(now); });
    now = 1'000;
    view.AppendReceived("first\r");
    now = 2'500;
    view.AppendReceived("\nsecond\r\nthi");
    now = 4'000;
    view.AppendReceived("rd");
    view.FlushReceived();
    EXPECT_EQ(view.GutterText(0), "");
    EXPECT_EQ(SavedLog(view), "first\r\nsecond\r\nthird");

    auto menu = view.CreateContextMenu();
    ASSERT_FALSE(MenuAction(*menu, "Time since previous line")->isEnabled());
    MenuAction(*menu, "Show timestamps")->trigger();
    ASSERT_TRUE(view.ShowTimestamps());
    EXPECT_EQ(view.GutterText(0), QString::fromStdString(ClockText(at(1'000))));
    EXPECT_EQ(view.GutterText(2), QString::fromStdString(ClockText(at(2'500))));
    menu = view.CreateContextMenu();
    MenuAction(*menu, "Time since previous line")->trigger();
    EXPECT_EQ(Lines(view), (QStringList{"first", "second", "third"}));
    EXPECT_EQ(view.GutterText(1), "      +1.500");
    EXPECT_EQ(view.GutterText(2), "      +0.000");
    EXPECT_EQ(SavedLog(view), "      +0.000 first\r\n      +1.500 second\r\n      +0.000 third");

    // The text starts after the gutter: the mouse selects what is under it.
    view.FlushReceived();
    QWidget* pane = view.viewport();
    const int row = view.fontMetrics().lineSpacing();
    const int left = 4 + view.fontMetrics().horizontalAdvance("00:00:00.000 ");
    const QPoint end(left + view.fontMetrics().horizontalAdvance("sec"), 4 + row + row / 2);
    QTest::mousePress(pane, Qt::LeftButton, {}, QPoint(left + 1, 4 + row / 2));
    QTest::mouseMove(pane, end);
    QTest::mouseRelease(pane, Qt::LeftButton, {}, end);
    EXPECT_EQ(view.SelectedText(), "first\nsec");
}

} // namespace

namespace {

TEST(TerminalView, HexViewStartsAtTheSameByteAndCopiesTheSelectedRows)
{
    TTerminalView view;
    view.resize(500, 200);
    view.show();
    std::string sent;
    for (int i = 0; i < 300; ++i) {
        char line[16];
        std::snprintf(line, sizeof line, "line %03d\r\n", i); // 10 bytes
        sent += line;
    }
    view.AppendReceived(sent);
    view.FlushReceived();
    view.verticalScrollBar()->setValue(150);
    const std::int64_t top = view.TopLine();
    ASSERT_GT(top, 100);

    auto menu = view.CreateContextMenu();
    MenuAction(*menu, "Hex view")->trigger();
    ASSERT_TRUE(view.HexView());
    EXPECT_EQ(view.TopHexRow(), static_cast<std::uint64_t>(top) * 10 / 16);
    EXPECT_EQ(view.SelectedText(), "");

    // Two rows from the top, by the mouse, copied as shown.
    QWidget* pane = view.viewport();
    const int row = QFontMetrics(QFontDatabase::systemFont(QFontDatabase::FixedFont)).lineSpacing();
    QTest::mousePress(pane, Qt::LeftButton, {}, QPoint(20, 4 + row / 2));
    QTest::mouseMove(pane, QPoint(20, 4 + row + row / 2));
    QTest::mouseRelease(pane, Qt::LeftButton, {}, QPoint(20, 4 + row + row / 2));
    QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
    const std::uint64_t first = view.TopHexRow();
    const QString copied = QApplication::clipboard()->text();
    EXPECT_EQ(copied, QString::fromLatin1(HexRow(view.ReceivedBytes(), first) + "\n" +
                                          HexRow(view.ReceivedBytes(), first + 1)));
    char offset[16];
    std::snprintf(offset, sizeof offset, "%010llX", static_cast<unsigned long long>(first * 16));
    std::string shown = sent.substr(first * 16, 16);
    std::replace_if(
        shown.begin(), shown.end(), [](char c) { return c == '\r' || c == '\n'; }, '.');
    EXPECT_TRUE(copied.startsWith(QString::fromLatin1(offset) + "  ")) << copied.toStdString();
    EXPECT_TRUE(copied.section('\n', 0, 0).endsWith("  " + QString::fromLatin1(shown)))
        << copied.toStdString();

    menu = view.CreateContextMenu();
    EXPECT_FALSE(MenuAction(*menu, "Find…")->isEnabled());
    MenuAction(*menu, "Hex view")->trigger();
    EXPECT_FALSE(view.HexView());
    // The line of the top row's first byte, which may be the one before the line that was there.
    EXPECT_EQ(view.TopLine(), static_cast<std::int64_t>(first * 16 / 10));
}

} // namespace
