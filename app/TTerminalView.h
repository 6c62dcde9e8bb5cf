#pragma once
// The black terminal pane. Received bytes are appended at the end in time proportional to the
// chunk (never by replacing the whole text); the view follows the end while it is scrolled there.
// Lines are the document's lines; an empty terminal has none.

#include "app/TerminalDecoder.h"

#include <QPlainTextEdit>

#include <string_view>

class TTerminalView : public QPlainTextEdit
{
    Q_OBJECT
public:
    explicit TTerminalView(QWidget* parent = nullptr);

    // Appends received bytes as TTerminalDecoder maps them.
    void AppendReceived(std::string_view bytes);

    void ClearText();
    void ReplaceText(const QString& text);
    void AppendLine(const QString& line);
    void DeleteLine(int index); // does nothing for an index out of range
    int LineCount() const;
    QString LineText(int index) const; // empty for an index out of range

private:
    void InsertAtEnd(const QString& text);

    TTerminalDecoder Decoder;
};
