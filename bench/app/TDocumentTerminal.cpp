#include "bench/app/TDocumentTerminal.h"

#include "app/TerminalDecoder.h"

#include <QScrollBar>
#include <QTextCursor>

#include <utility>

TDocumentTerminal::TDocumentTerminal(QWidget* parent) : QPlainTextEdit(parent)
{
    setUndoRedoEnabled(false);
    setReadOnly(true);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    fFlushTimer.setSingleShot(true);
    fFlushTimer.setInterval(15);
    connect(&fFlushTimer, &QTimer::timeout, this, &TDocumentTerminal::FlushReceived);
}

void TDocumentTerminal::AppendReceived(std::string_view bytes)
{
    fPending.reserve(fPending.size() + static_cast<qsizetype>(bytes.size()));
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        const bool lineEnd = byte == '\r' || (byte == '\n' && !fAfterCr);
        fAfterCr = byte == '\r';
        if (lineEnd)
            fPending += QChar(u'\n');
        else if (byte != '\n')
            fPending += TTerminalDecoder::DisplayChar(byte);
    }
    if (fPending.size() >= 16 * 1024)
        FlushReceived();
    else if (!fFlushTimer.isActive())
        fFlushTimer.start();
}

void TDocumentTerminal::FlushReceived()
{
    fFlushTimer.stop();
    const QString text = std::exchange(fPending, QString());
    if (text.isEmpty()) return;
    QScrollBar* bar = verticalScrollBar();
    const bool followEnd = bar->value() >= bar->maximum();
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text);
    if (followEnd) bar->setValue(bar->maximum());
}
