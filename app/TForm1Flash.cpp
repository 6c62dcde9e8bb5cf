// The firmware transfer: the Flash and Stop Flash buttons, the wait that keeps the window
// alive while the transfer runs, and what the receive handler does during a transfer.
#include "app/TForm1.h"

#include "app/ElapsedTimeText.h"
#include "app/EventLoopDelay.h"
#include "app/FlashProgress.h"
#include "app/IndicatorWidgets.h"
#include "app/MillisecondTick.h"
#include "app/TFirmwareFile.h"
#include "app/TerminalDecoder.h"
#include "serial/EQorComPort.h"

#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScopeGuard>

#include <algorithm>

namespace {

// Lines sent without any answer before the sender waits for the device.
constexpr int32_t WindowLines = 64;
// The first lines are each preceded by this pause, so a slow device can settle.
constexpr int32_t PacedLines = 64;
constexpr uint32_t PaceMs = 5;
constexpr uint32_t WindowPollMs = 1;
constexpr std::size_t MaxRoomWaitMs = 50;
// The device has answered once more than this many characters have been collected.
constexpr qsizetype AnswerThreshold = 11;
constexpr int ThirdLine = 2;
constexpr std::size_t ThirdLineChars = 4;

// One display character per received byte, so lengths count bytes.
QString DisplayText(std::string_view bytes)
{
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size()));
    for (const char c : bytes)
        text += TTerminalDecoder::DisplayChar(static_cast<unsigned char>(c));
    return text;
}

} // namespace

void TForm1::Delay(uint32_t ms)
{
    ProcessEventsFor(ms, MillisecondTick);
}

void TForm1::ShowElapsedTime()
{
    const int64_t seconds = (MonotonicMilliseconds() - TransferStartMs) / 1000;
    if (seconds == ShownElapsedSeconds) return;
    ShownElapsedSeconds = seconds;
    Panel2->setText(ElapsedTimeText(seconds, QLocale::system()));
}

void TForm1::ShowMemoLog()
{
    if (Memo1->toPlainText() != MemoLog) Memo1->setPlainText(MemoLog);
}

void TForm1::ShowCollectedAnswer(bool transferEnded)
{
    // A device that answers every line without a window wait makes the answer grow all along
    // the transfer; laying out the hidden line edit's whole text on every chunk would cost time
    // in proportion to it, each time. Past a screenful it is written when the transfer ends.
    constexpr qsizetype ShownWhileRunning = 1024;
    if (!transferEnded && CollectedAnswer.size() > ShownWhileRunning) return;
    if (Edit1->text() != CollectedAnswer) Edit1->setText(CollectedAnswer);
}

void TForm1::Button1Click(QObject* /*Sender*/)
{
    // A click handled inside a running transfer's wait would start a second transfer on
    // the same port, interleaving two files' lines; it is ignored.
    if (TransferRunning) return;
    TransferRunning = true;
    try {
        RunTransfer();
    } catch (const std::exception&) {
        TransferRunning = false;
        // A window that is closing reports nothing; the port it kept open for the transfer
        // closes now.
        if (!WindowClosing) throw;
    }
    TransferRunning = false;
    if (WindowClosing) CloseForClosingWindow();
}

void TForm1::RunTransfer()
{
    const auto memo = qScopeGuard([this] {
        ShowMemoLog();
        ShowCollectedAnswer(true);
    });

    StopRequested = false;
    FlashInProgress = true;
    // Whatever ends the transfer, closing the window must be possible again.
    auto notInProgress = qScopeGuard([this] { FlashInProgress = false; });
    MemoLog.clear();
    Memo1->clear();
    CollectedAnswer = Edit1->text();

    const std::optional<QString> chosen = ChooseFirmwareFile();
    if (!chosen) return;

    Panel1->setText(QStringLiteral("Flash in corso ......"));
    Panel4->setText(QFileInfo(*chosen).fileName());

    // The clean-up also runs when a failure ends the transfer, before the error is shown.
    notInProgress.dismiss();
    const auto cleanUp = qScopeGuard([this] {
        FlashInProgress = false;
        pelLed1->SetLedOn(false);
        pelLed2->SetLedOn(false);
    });

    TFirmwareFile file(QFile::encodeName(*chosen).toStdString());

    StartTime = QDateTime::currentDateTime();
    TransferStartMs = MonotonicMilliseconds();
    ShownElapsedSeconds = -1;
    LineCount = 0;
    WindowCount = 0;
    DeviceLostInTransfer = false;

    reTerminal->ReplaceText(QStringLiteral("Send file\n\n"));

    while (!file.Eof() && !TransferCut()) {
        ShowElapsedTime();
        std::string line = file.ReadLine();
        line.push_back('\r');
        if (LineCount < PacedLines) Delay(PaceMs);
        WaitForTransmitRoom(line.size());
        pelLed1->SetLedOn(true);
        pelLed2->SetLedOn(false);
        try {
            ComPort.WriteString(line);
        } catch (const EQorComPort&) {
            if (!TransferCut()) throw;
            break; // the device went away; the lost-device report says so
        }
        ++LineCount;
        ++WindowCount;
        Panel3->setText(QString::number(LineCount));
        if (WindowCount == WindowLines) {
            ReplyReceived = false;
            CollectedAnswer.clear();
            Edit1->clear();
            while (!ReplyReceived && !TransferCut())
                Delay(WindowPollMs);
        }
        ProgressBar1->SetProgress(
            FlashProgressPercent(file.BlocksRead(), file.TotalBlocks(), file.AllFetched()));
    }
    // The file has been read, not sent: the transfer lasts until the line has carried it.
    while (!TransferCut() && ComPort.OutputPending() > 0) {
        ShowElapsedTime();
        WaitForLine(ComPort.OutputPending());
    }
    ShowElapsedTime();
    if (TransferCut() && !StopRequested) ShowTransferCutByLostDevice();
}

void TForm1::DropQueuedLines()
{
    // What a refused or stopped transfer still has queued must not reach the device, which would
    // take it as menu input. The line of the pass under way still follows, as it always has.
    if (TransferRunning) ComPort.PurgeTx();
}

bool TForm1::TransferCut() const
{
    return StopRequested || DeviceLostInTransfer || ComPort.DeviceLost();
}

void TForm1::WaitForTransmitRoom(std::size_t bytes)
{
    // Keeps at most TxBuffer bytes ahead of the wire, so Stop and "ERREUR" take effect at once;
    // a line longer than that goes out alone.
    const auto limit = static_cast<std::size_t>(ComPort.TxBuffer());
    for (;;) {
        const std::size_t pending = ComPort.OutputPending();
        if (pending == 0 || pending + bytes <= limit || TransferCut()) return;
        WaitForLine(pending + bytes - limit);
    }
}

void TForm1::WaitForLine(std::size_t bytes)
{
    // The line frees room at its own pace: looking again when it should have carried `bytes`
    // spares waking up every millisecond; answers and Stop are handled meanwhile.
    const auto bytesPerSecond = static_cast<std::size_t>(std::max(ComPort.Baudrate() / 10, 1));
    Delay(static_cast<uint32_t>(
        std::clamp<std::size_t>(bytes * 1000 / bytesPerSecond, WindowPollMs, MaxRoomWaitMs)));
}

void TForm1::ShowTransferCutByLostDevice()
{
    FlashInProgress = false;
    pelLed1->SetLedOn(false);
    pelLed2->SetLedOn(false);
    Panel1->setText(QStringLiteral("Flash interrotto: dispositivo scollegato"));
}

void TForm1::Button2Click(QObject* /*Sender*/)
{
    StopRequested = true;
    FlashInProgress = false;
    Armed = false;
    Panel1->setText(QStringLiteral("Flash interrotto...."));
    DropQueuedLines();
}

void TForm1::ComPortDataAvailableTransfer(const std::string& S)
{
    pelLed1->SetLedOn(false);
    pelLed2->SetLedOn(true);

    CollectedAnswer += DisplayText(S);
    if (CollectedAnswer.size() > AnswerThreshold) ReplyReceived = true;
    ShowCollectedAnswer(false);

    MemoLog += QString::number(LineCount);
    MemoLog += QLatin1Char('/');
    if (!TransferRunning) ShowMemoLog();

    WindowCount = 0;

    const bool beginsWithBsOrCr = !S.empty() && (S.front() == '\b' || S.front() == '\r');
    const bool containsErreur = S.find("ERREUR") != std::string::npos;
    if (!beginsWithBsOrCr && !containsErreur && S.find("loads3") == std::string::npos) {
        reTerminal->DeleteLine(ThirdLine);
        // Byte for character, line ends shown as symbols: the line stays one line.
        reTerminal->AppendLine(DisplayText(std::string_view(S).substr(0, ThirdLineChars)));
    }
    if (containsErreur) {
        Panel1->setText(QStringLiteral("Erreur Transfert ..... flash interrotto..."));
        StopRequested = true;
        DropQueuedLines();
    }
}
