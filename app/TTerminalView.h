#pragma once
// The black terminal pane. Received bytes are appended at the end in time proportional to the
// chunk (never by replacing the whole text); the view follows the end while it is scrolled there.
// Received text is gathered for a few milliseconds and added in one go, so a device that sends
// many small pieces costs one layout and repaint per interval, not one per piece. Every other
// operation first adds what is pending, so callers always see the text in order.
// Lines are the document's lines; an empty terminal has none.

#include "app/TerminalDecoder.h"

#include <QPlainTextEdit>
#include <QTimer>

#include <string>
#include <string_view>

class TTerminalView : public QPlainTextEdit
{
    Q_OBJECT
public:
    explicit TTerminalView(QWidget* parent = nullptr);

    // Appends received bytes as TTerminalDecoder maps them (shown within FlushIntervalMs).
    void AppendReceived(std::string_view bytes);
    // Adds the received text still pending now.
    void FlushReceived();
    static constexpr int FlushIntervalMs = 15;
    static constexpr qsizetype MaxPendingCharacters = 16 * 1024;

    // Empties the pane and the bytes kept for "Save log…".
    void ClearText();
    // The pane shows text instead (the transfer's "Send file"); the received bytes are kept.
    void ReplaceText(const QString& text);
    // Every byte received since the last ClearText, exactly as it came.
    const std::string& ReceivedBytes() const { return fReceivedBytes; }
    void AppendLine(const QString& line);
    void DeleteLine(int index); // does nothing for an index out of range
    int LineCount();
    QString LineText(int index); // empty for an index out of range

private:
    void InsertAtEnd(const QString& text);
    void ClearPane();

    TTerminalDecoder fDecoder;
    QString fPending; // received, not yet in the document
    std::string fReceivedBytes;
    QTimer fFlushTimer;
};
