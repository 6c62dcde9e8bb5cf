#pragma once
// The terminal as it was before its own store: received text appended to a QPlainTextEdit's
// document, gathered for 15 ms. Kept only as the baseline the long-session benchmark prints
// beside the terminal the window uses.

#include <QPlainTextEdit>
#include <QTimer>

#include <string_view>

class TDocumentTerminal : public QPlainTextEdit
{
public:
    explicit TDocumentTerminal(QWidget* parent = nullptr);
    void AppendReceived(std::string_view bytes);
    void FlushReceived();
    qint64 CharacterCount() const { return document()->characterCount() - 1; }

private:
    QString fPending;
    bool fAfterCr = false;
    QTimer fFlushTimer;
};
