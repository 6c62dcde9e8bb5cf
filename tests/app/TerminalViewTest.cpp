#include "app/TTerminalView.h"
#include "tests/app/EventLoopWait.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <gtest/gtest.h>

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
    EXPECT_EQ(view.toPlainText(), "Boot\nMenu: 1 2\n> ");
    EXPECT_EQ(view.LineCount(), 3);
}

TEST(TerminalView, StartsEmptyWithoutLinesAndClearsToEmpty)
{
    TTerminalView view;
    EXPECT_EQ(view.LineCount(), 0);
    EXPECT_TRUE(view.isReadOnly());
    view.AppendReceived("x\ny");
    view.FlushReceived();
    view.AppendReceived("pending");
    view.ClearText();
    EXPECT_EQ(view.LineCount(), 0);
    EXPECT_EQ(view.toPlainText(), "");
    EXPECT_EQ(view.LineText(0), "");
}

TEST(TerminalView, LineEndAfterAClearIsNotTakenForTheSecondHalfOfCrLf)
{
    TTerminalView view;
    view.AppendReceived("prompt\r");
    view.ClearText();
    view.AppendReceived("\nnext");
    view.FlushReceived();
    EXPECT_EQ(view.toPlainText(), "\nnext");
    view.AppendReceived("\r");
    view.ReplaceText("Send file");
    view.AppendReceived("\nok");
    view.FlushReceived();
    EXPECT_EQ(view.toPlainText(), "Send file\nok");
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

    bar->setValue(3); // the operator reads something further up
    view.AppendReceived("more\r\nand more\r\n");
    view.FlushReceived();
    EXPECT_EQ(bar->value(), 3);
}

TEST(TerminalView, ManySmallPiecesBecomeOneDocumentChange)
{
    TTerminalView view;
    int changes = 0;
    QObject::connect(view.document(), &QTextDocument::contentsChange, [&] { ++changes; });
    for (const char* piece : {"Rec", "ords: 1", "2 OK\r", "\nnext"})
        view.AppendReceived(piece);
    EXPECT_EQ(view.document()->isEmpty(), true); // not shown yet
    ASSERT_TRUE(WaitUntil([&] { return !view.document()->isEmpty(); }));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(view.toPlainText(), "Records: 12 OK\nnext");
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

TEST(TerminalView, AFloodIsShownInBoundedStepsWithoutWaiting)
{
    TTerminalView view;
    const std::string flood(static_cast<std::size_t>(TTerminalView::MaxPendingCharacters), 'x');
    view.AppendReceived("head ");
    view.AppendReceived(flood); // reaching the bound adds it at once
    EXPECT_EQ(view.document()->characterCount() - 1, 5 + TTerminalView::MaxPendingCharacters);
    view.AppendReceived("tail");
    EXPECT_EQ(view.document()->characterCount() - 1, 5 + TTerminalView::MaxPendingCharacters);
    view.FlushReceived();
    EXPECT_TRUE(view.toPlainText().endsWith("xtail"));
}

} // namespace
