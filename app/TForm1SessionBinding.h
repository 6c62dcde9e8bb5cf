#pragma once
// The window's controls as the boot-loader session's waiter and view: each report of the
// session lands in the control the window's layout gives it.

#include "app/ElapsedTimeText.h"
#include "app/TForm1.h"
#include "app/TerminalDecoder.h"
#include "widgets/TGauge.h"
#include "widgets/TTipTrackBar.h"
#include "widgets/TpelLed.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace form1_binding {

constexpr int ThirdLine = 2;

// One display character per received byte, so lengths count bytes.
inline QString DisplayText(std::string_view bytes)
{
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size()));
    for (const char c : bytes)
        text += TTerminalDecoder::DisplayChar(static_cast<unsigned char>(c));
    return text;
}

} // namespace form1_binding

class TForm1::TSessionBinding final : public ISessionWaiter, public ISessionView
{
public:
    explicit TSessionBinding(TForm1& form) : fForm(form) {}

    void Delay(std::uint32_t ms) override { fForm.Delay(ms); }

    void ShowLamps(bool sending, bool receiving) override
    {
        fForm.pelLed1->SetLedOn(sending);
        fForm.pelLed2->SetLedOn(receiving);
    }
    void ShowStatus(std::string_view text) override { fForm.Panel1->setText(Utf8(text)); }
    void ShowElapsedSeconds(std::int64_t seconds) override
    {
        fForm.Panel2->setText(ElapsedTimeText(seconds, QLocale::system()));
    }
    void ShowLineCount(std::int32_t lines) override
    {
        fForm.Panel3->setText(QString::number(lines));
    }
    void ShowFileName(std::string_view name) override
    {
        fForm.Panel4->setText(QFile::decodeName(QByteArray(name.data(), Size(name))));
    }
    void TransferStarted() override { fForm.StartTime = QDateTime::currentDateTime(); }
    void ShowProgress(int percent) override { fForm.ProgressBar1->SetProgress(percent); }
    void EnableFlash() override { fForm.Button1->setEnabled(true); }
    void ShowReceived(std::string_view bytes) override { fForm.reTerminal->AppendReceived(bytes); }
    void ReplaceTerminal(std::string_view text) override
    {
        fForm.reTerminal->ReplaceText(Utf8(text));
    }
    void ShowLatestAnswer(std::string_view firstBytes) override
    {
        fForm.reTerminal->DeleteLine(form1_binding::ThirdLine);
        // Byte for character, line ends shown as symbols: the line stays one line.
        fForm.reTerminal->AppendLine(form1_binding::DisplayText(firstBytes));
    }
    void ShowCollectedAnswer(std::string_view answer) override
    {
        const QString text = form1_binding::DisplayText(answer);
        if (fForm.Edit1->text() != text) fForm.Edit1->setText(text);
    }
    void ShowChunkLog(std::string_view log) override
    {
        const QString text = QString::fromLatin1(log.data(), Size(log));
        if (fForm.Memo1->toPlainText() != text) fForm.Memo1->setPlainText(text);
    }

private:
    static qsizetype Size(std::string_view text) { return static_cast<qsizetype>(text.size()); }
    static QString Utf8(std::string_view text)
    {
        return QString::fromUtf8(text.data(), Size(text));
    }

    TForm1& fForm;
};
