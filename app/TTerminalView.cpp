#include "app/TTerminalView.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <utility>

TTerminalView::TTerminalView(QWidget* parent) : QPlainTextEdit(parent)
{
    // No undo history: it would keep a second copy of everything received.
    setUndoRedoEnabled(false);
    setReadOnly(true);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTabChangesFocus(false);
    fFlushTimer.setSingleShot(true);
    fFlushTimer.setInterval(FlushIntervalMs);
    connect(&fFlushTimer, &QTimer::timeout, this, &TTerminalView::FlushReceived);
}

void TTerminalView::InsertAtEnd(const QString& text)
{
    if (text.isEmpty()) return;
    QScrollBar* bar = verticalScrollBar();
    const bool followEnd = bar->value() >= bar->maximum();
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text);
    if (followEnd) bar->setValue(bar->maximum());
}

void TTerminalView::AppendReceived(std::string_view bytes)
{
    fReceivedBytes.append(bytes);
    fPending += fDecoder.Decode(bytes);
    // A flood is added in bounded steps, so no single insertion stalls the window for long.
    if (fPending.size() >= MaxPendingCharacters)
        FlushReceived();
    else if (!fPending.isEmpty() && !fFlushTimer.isActive())
        fFlushTimer.start();
}

void TTerminalView::FlushReceived()
{
    fFlushTimer.stop();
    const QString text = std::exchange(fPending, QString());
    InsertAtEnd(text);
}

void TTerminalView::ClearText()
{
    ClearPane();
    fReceivedBytes.clear();
}

void TTerminalView::ClearPane()
{
    fFlushTimer.stop();
    fPending.clear();
    fDecoder.Reset(); // an LF after a CR that came before the clear is a line end of its own
    document()->clear();
}

void TTerminalView::ReplaceText(const QString& text)
{
    ClearPane();
    InsertAtEnd(text);
}

int TTerminalView::LineCount()
{
    FlushReceived();
    const QTextDocument* doc = document();
    if (doc->blockCount() == 1 && doc->firstBlock().length() <= 1) return 0;
    return doc->blockCount();
}

QString TTerminalView::LineText(int index)
{
    if (index < 0 || index >= LineCount()) return {};
    return document()->findBlockByNumber(index).text();
}

void TTerminalView::AppendLine(const QString& line)
{
    FlushReceived();
    if (LineCount() == 0) {
        // An empty document cannot hold a single empty line: adding one leaves it empty.
        InsertAtEnd(line);
        return;
    }
    InsertAtEnd(QChar(u'\n') + line);
}

void TTerminalView::DeleteLine(int index)
{
    FlushReceived();
    const int count = LineCount();
    if (index < 0 || index >= count) return;
    const QTextBlock block = document()->findBlockByNumber(index);
    QTextCursor cursor(document());
    if (index + 1 < count) {
        // The line and the line end after it.
        cursor.setPosition(block.position());
        cursor.setPosition(block.next().position(), QTextCursor::KeepAnchor);
    } else if (index > 0) {
        // The last line and the line end before it.
        cursor.setPosition(block.position() - 1);
        cursor.setPosition(block.position() + block.length() - 1, QTextCursor::KeepAnchor);
    } else {
        cursor.setPosition(block.position());
        cursor.setPosition(block.position() + block.length() - 1, QTextCursor::KeepAnchor);
    }
    cursor.removeSelectedText();
}
