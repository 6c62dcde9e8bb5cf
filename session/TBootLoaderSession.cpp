#include "session/TBootLoaderSession.h"

#include "firmware/FirmwareConversion.h"
#include "firmware/TFirmwareFile.h"
#include "serial/EQorComPort.h"
#include "serial/TQorComPort.h"
#include "session/FlashProgress.h"
#include "session/MillisecondTick.h"

#include <algorithm>
#include <exception>
#include <string>

namespace {

// The boot loader's password, sent for every ':' while armed.
constexpr std::string_view Password = "qxvt";
// Lines sent without any answer before the sender waits for the device.
constexpr std::int32_t WindowLines = 64;
// The first lines are each preceded by this pause, so a slow device can settle.
constexpr std::int32_t PacedLines = 64;
constexpr std::uint32_t PaceMs = 5;
constexpr std::uint32_t WindowPollMs = 1;
constexpr std::size_t MaxRoomWaitMs = 50;
// The last line waits until the line has carried the others and this long more: a device that
// restarted on one of the last records shows its banner or menu by then, and must not have the
// last line taken for a finished load.
constexpr double RestartShowsWithinMs = 100;
// Longer than the gap between the answers of a device that answers once a 64-line window.
constexpr double QuietMs = 500;
// The device has answered once more than this many characters have been collected.
constexpr std::size_t AnswerThreshold = 11;
constexpr std::size_t LatestAnswerBytes = 4;
// Past this the collected answer is shown only when the transfer ends.
constexpr std::size_t AnswerShownWhileRunning = 1024;

constexpr std::string_view Flashing = "Flash in corso ......";
constexpr std::string_view Stopped = "Flash interrotto....";
constexpr std::string_view Refused = "Erreur Transfert ..... flash interrotto...";
constexpr std::string_view CutByLostDevice = "Flash interrotto: dispositivo scollegato";
constexpr std::string_view CutByRestart = "Flash interrotto: il dispositivo si è riavviato";

bool Contains(std::string_view text, std::string_view part)
{
    return text.find(part) != std::string_view::npos;
}

// Runs `action` when the scope ends, however it ends.
template <class TAction> class TScopeExit
{
public:
    explicit TScopeExit(TAction action) : fAction(std::move(action)) {}
    ~TScopeExit()
    {
        if (fArmed) fAction();
    }
    TScopeExit(const TScopeExit&) = delete;
    TScopeExit& operator=(const TScopeExit&) = delete;
    void Dismiss() { fArmed = false; }

private:
    TAction fAction;
    bool fArmed = true;
};

// Windows paths take either slash; elsewhere a backslash is part of a name.
#ifdef _WIN32
constexpr std::string_view FolderSeparators = "/\\";
#else
constexpr std::string_view FolderSeparators = "/";
#endif

std::string FileName(const std::string& path)
{
    const auto slash = path.find_last_of(FolderSeparators);
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The terminal's line under "Send file" when the file went out converted.
std::string ConvertedNote(const TConvertedImage& converted)
{
    const char* format = converted.Format == TImageFormat::IntelHex ? "Intel HEX"
                         : converted.Format == TImageFormat::Elf    ? "ELF"
                                                                    : "binario";
    const TFirmwareImage& image = converted.Image;
    return std::string("[") + format + " convertito in " +
           std::to_string(converted.SRecords.Records) +
           " S-record: " + std::to_string(image.ByteCount()) + " byte a " +
           AddressRange(image.LowAddress(), image.End()) + "]";
}

} // namespace

TBootLoaderSession::TBootLoaderSession(TQorComPort& port, ISessionWaiter& waiter,
                                       ISessionView& view)
    : fPort(port), fWaiter(waiter), fView(view)
{
    fPort.SetOnDataAvailable([this](TQorComPort& Sender) { ComPortDataAvailable(Sender); });
}

TBootLoaderSession::~TBootLoaderSession()
{
    fPort.SetOnDataAvailable(nullptr);
}

void TBootLoaderSession::ComPortDataAvailable(TQorComPort& Sender)
{
    const std::string S = Sender.ReadString();
    fView.ChunkReceived(S);
    Receive(S);
}

void TBootLoaderSession::Receive(const std::string& S)
{
    if (FlashInProgress) {
        ReceiveDuringTransfer(S);
        return;
    }
    fRestartWatch.Learn(S);
    if (fJudgingAfterLastLine) {
        // Until the device has confirmed the file, its refusal of the last records still
        // belongs to the transfer: the status must not go on saying it is flashing.
        if (Contains(S, "ERREUR")) {
            fView.ShowStatus(Refused);
            fJudgingAfterLastLine = false;
        } else {
            JudgeAfterLastLine(S);
        }
        // What the device says after the responder's answer answers that, not the file.
        if (AutoAnswer && Contains(S, ">")) fJudgingAfterLastLine = false;
    }
    // The answer leaves before the text is shown: the device waits for it, while nothing shown
    // reaches the screen before this handler returns anyway. What arrived is shown also when
    // the answer cannot be written (the device went away).
    {
        const TScopeExit show([&] {
            fView.ShowReceived(S);
            fView.ShowLamps(false, true);
        });
        if (AutoAnswer && Contains(S, ">")) {
            Armed = true;
            if (FlashType == 0) fPort.WriteString("2");
            if (FlashType == 1) fPort.WriteString("1");
            if (FlashType == 0 || FlashType == 1) fRestartWatch.PromptAnswered();
        }
        if (Contains(S, ":") && Armed) fPort.WriteString(Password);
    }
    if (Contains(S, "Send")) fView.EnableFlash();
    fView.ShowLamps(false, false);
}

void TBootLoaderSession::Init()
{
    fPort.WriteString("\r\n");
    Armed = false;
    fJudgingAfterLastLine = false;
    fRestartWatch.ExpectBanner();
}

void TBootLoaderSession::SendTyped(std::string_view text)
{
    fPort.WriteString(text);
    Armed = true;
}

void TBootLoaderSession::Flash(const std::function<std::optional<std::string>()>& choose)
{
    // A click handled inside a running transfer's wait would start a second transfer on the
    // same port, interleaving two files' lines; it is ignored.
    if (TransferRunning) return;
    TransferRunning = true;
    const TScopeExit running([this] {
        TransferRunning = false;
        fView.ShowChunkLog(fChunkLog);
        ShowCollectedAnswer(true);
    });

    StopRequested = false;
    FlashInProgress = true;
    // Whatever ends the transfer, closing the window must be possible again.
    TScopeExit notInProgress([this] { FlashInProgress = false; });
    fChunkLog.clear();
    fView.ShowChunkLog(fChunkLog);

    const std::optional<std::string> chosen = choose();
    if (!chosen) return;

    fView.ShowStatus(Flashing);
    fView.ShowFileName(FileName(*chosen));

    // The clean-up also runs when a failure ends the transfer, before the error is shown.
    notInProgress.Dismiss();
    const TScopeExit cleanUp([this] {
        FlashInProgress = false;
        fView.ShowLamps(false, false);
    });
    // Text goes out from the file as it always did; what the boot loader cannot read is
    // converted whole first, so a bad file is refused before any line is sent.
    std::optional<TConvertedImage> converted =
        ConvertToSRecords(TFirmwareFile::ReadWhole(*chosen), FileName(*chosen), ImageOptions);
    if (!converted) {
        TFirmwareFile file(*chosen);
        RunTransfer(file, {});
        return;
    }
    const std::string note = ConvertedNote(*converted);
    TFirmwareFile file(TFirmwareFile::TText{std::move(converted->SRecords.Text)});
    RunTransfer(file, note);
}

void TBootLoaderSession::RunTransfer(TFirmwareFile& file, std::string_view note)
{
    fStartMs = MonotonicMilliseconds();
    fShownElapsedSeconds = -1;
    LineCount = 0;
    WindowCount = 0;
    fDeviceLostInTransfer = false;
    DeviceRestarted = false;
    RestartedAfterLine = 0;
    DeviceConfirmed = false;
    fLastLineWritten = false;
    fJudgingAfterLastLine = false;
    fWireFreeAtMs = fLastWriteMs = 0;
    fLastByteMs = -1;
    fRestartWatch.BeginTransfer();
    fSendingFile = true;
    const TScopeExit sent([this] { fSendingFile = false; });
    fView.TransferStarted();
    fView.ReplaceTerminal("Send file\n" + std::string(note) + "\n");

    while (!file.Eof() && !TransferCut()) {
        ShowElapsedTime();
        std::string line = file.ReadLine();
        line.push_back('\r');
        // The gauge shows the file as fetched for this line, before the look ahead below.
        const int percent =
            FlashProgressPercent(file.BlocksRead(), file.TotalBlocks(), file.AllFetched());
        const bool lastLine = file.Eof();
        if (LineCount < PacedLines) fWaiter.Delay(PaceMs);
        WaitForTransmitRoom(line.size());
        if (lastLine && LineCount > 0) AwaitDeviceBeforeLastLine();
        // A restarted device reads the file as menu choices: not one more line of it.
        if (DeviceRestarted) break;
        fView.ShowLamps(true, false);
        try {
            WriteLine(line);
        } catch (const EQorComPort&) {
            if (!TransferCut()) throw;
            break; // the device went away; the lost-device report says so
        }
        fLastLineWritten = fJudgingAfterLastLine = lastLine;
        ++LineCount;
        ++WindowCount;
        fView.ShowLineCount(LineCount);
        if (WindowCount == WindowLines) {
            ReplyReceived = false;
            fCollectedAnswer.clear();
            fView.ShowCollectedAnswer(fCollectedAnswer);
            fWaiter.WaitUntil([this] { return ReplyReceived || TransferCut(); }, WindowPollMs);
        }
        fView.ShowProgress(percent);
    }
    // The file has been read, not sent: the transfer lasts until the line has carried it.
    for (std::size_t pending; !TransferCut() && (pending = fPort.OutputPending()) > 0;) {
        ShowElapsedTime();
        WaitForLine(pending);
    }
    ShowElapsedTime();
    if (TransferCut() && !StopRequested) ShowCutByLostDevice();
    if (TransferCut()) fJudgingAfterLastLine = false;
}

void TBootLoaderSession::Stop()
{
    StopRequested = true;
    FlashInProgress = false;
    Armed = false;
    fView.ShowStatus(Stopped);
    DropQueuedLines();
}

void TBootLoaderSession::DeviceLost()
{
    if (!TransferRunning) return;
    // The transfer ends as soon as it runs again; the front end shows it ended already.
    fDeviceLostInTransfer = true;
    ShowCutByLostDevice();
}

bool TBootLoaderSession::TransferCut() const
{
    return StopRequested || fDeviceLostInTransfer || fPort.DeviceLost();
}

void TBootLoaderSession::ReceiveDuringTransfer(const std::string& S)
{
    if (!S.empty()) fLastByteMs = static_cast<double>(MonotonicMilliseconds());
    fView.ShowLamps(false, true);

    fCollectedAnswer += S;
    if (fCollectedAnswer.size() > AnswerThreshold) ReplyReceived = true;
    ShowCollectedAnswer(false);

    fChunkLog += std::to_string(LineCount);
    fChunkLog += '/';
    // Laying out the log's one ever-growing line on every chunk would cost time in proportion
    // to the whole log, each time: during a transfer it is shown when the transfer ends.
    if (!TransferRunning) fView.ShowChunkLog(fChunkLog);

    WindowCount = 0;

    const bool beginsWithBsOrCr = !S.empty() && (S.front() == '\b' || S.front() == '\r');
    const bool containsErreur = Contains(S, "ERREUR");
    // Every chunk is read, so that a line split over chunks is judged whole. A refusal that
    // brings the menu back is a refusal.
    if (fSendingFile && fLastLineWritten) {
        if (fJudgingAfterLastLine && !containsErreur) JudgeAfterLastLine(S);
    } else if (fSendingFile && fRestartWatch.ShowsRestart(S) && !containsErreur && !TransferCut()) {
        StopForRestart();
    }

    if (!beginsWithBsOrCr && !containsErreur && !Contains(S, "loads3"))
        fView.ShowLatestAnswer(std::string_view(S).substr(0, LatestAnswerBytes));
    if (containsErreur) {
        fView.ShowStatus(Refused);
        StopRequested = true;
        DropQueuedLines();
    }
}

void TBootLoaderSession::JudgeAfterLastLine(std::string_view S)
{
    fRestartWatch.TakeAfterLastLine(S);
    if (fRestartWatch.BannerAfterLastLine() && fRestartWatch.TextAfterPrompt()) {
        // It started afresh on one of the last records and took the rest as menu choices.
        fJudgingAfterLastLine = false;
        DeviceConfirmed = false;
        DeviceRestarted = true;
        RestartedAfterLine = LineCount;
        fView.ShowStatus(CutByRestart);
        return;
    }
    if (!fRestartWatch.PromptAfterLastLine()) return;
    DeviceConfirmed = true;
    // Without its banner the menu settles it; with it, only the device falling quiet at its
    // menu does.
    if (!fRestartWatch.BannerAfterLastLine()) fJudgingAfterLastLine = false;
}

void TBootLoaderSession::StopForRestart()
{
    DeviceRestarted = true;
    RestartedAfterLine = LineCount;
    fView.ShowStatus(CutByRestart);
    StopRequested = true;
    DropQueuedLines();
}

void TBootLoaderSession::WriteLine(const std::string& line)
{
    fPort.WriteString(line);
    fLastWriteMs = static_cast<double>(MonotonicMilliseconds());
    fWireFreeAtMs = std::max(fWireFreeAtMs, fLastWriteMs) +
                    static_cast<double>(line.size()) * 1000 / LineBytesPerSecond();
}

void TBootLoaderSession::AwaitDeviceBeforeLastLine()
{
    // The driver's count leaves at the line's pace; what it does not count (a pseudo-terminal's
    // buffer, an adapter's FIFO) is reckoned from the line's rate, at most that much of it. A
    // device that answered the lines just written and has fallen quiet has taken them all, as a
    // device answers at least once a window while it works through what it is sent.
    std::optional<double> until;
    while (!TransferCut()) {
        if (const std::size_t pending = fPort.OutputPending(); pending > 0) {
            WaitForLine(pending);
            continue;
        }
        const auto now = static_cast<double>(MonotonicMilliseconds());
        if (!until)
            until = std::min(fWireFreeAtMs,
                             now + fPort.UncountedOutputBytes() * 1000.0 / LineBytesPerSecond()) +
                    RestartShowsWithinMs;
        double left = *until - now;
        if (fLastByteMs >= fLastWriteMs) left = std::min(left, fLastByteMs + QuietMs - now);
        if (left <= 0) return;
        fWaiter.Delay(static_cast<std::uint32_t>(
            std::clamp<double>(left, WindowPollMs, static_cast<double>(MaxRoomWaitMs))));
    }
}

void TBootLoaderSession::WaitForTransmitRoom(std::size_t bytes)
{
    // Keeps at most TxBuffer bytes ahead of the wire, so Stop and "ERREUR" take effect at once;
    // a line longer than that goes out alone.
    const auto limit = static_cast<std::size_t>(fPort.TxBuffer());
    for (;;) {
        const std::size_t pending = fPort.OutputPending();
        if (pending == 0 || pending + bytes <= limit || TransferCut()) return;
        // Full: the line carries half the buffer before the next look, so that the room is
        // filled by many lines after one wait rather than one line after each.
        WaitForLine(pending + bytes - limit / 2);
    }
}

void TBootLoaderSession::WaitForLine(std::size_t bytes)
{
    // The line frees room at its own pace: looking again when it should have carried `bytes`
    // spares waking up every millisecond; answers and Stop are handled meanwhile.
    fWaiter.Delay(static_cast<std::uint32_t>(
        std::clamp(static_cast<double>(bytes) * 1000 / LineBytesPerSecond(),
                   static_cast<double>(WindowPollMs), static_cast<double>(MaxRoomWaitMs))));
}

double TBootLoaderSession::LineBytesPerSecond() const
{
    return std::max(fPort.Baudrate() / 10, 1); // a start, 8 data and a stop bit a byte
}

void TBootLoaderSession::DropQueuedLines()
{
    // What a refused or stopped transfer still has queued must not reach the device, which would
    // take it as menu input. The line of the pass under way still follows, as it always has.
    if (TransferRunning) fPort.PurgeTx();
}

void TBootLoaderSession::ShowElapsedTime()
{
    const std::int64_t seconds = (MonotonicMilliseconds() - fStartMs) / 1000;
    if (seconds == fShownElapsedSeconds) return;
    fShownElapsedSeconds = seconds;
    fView.ShowElapsedSeconds(seconds);
}

void TBootLoaderSession::ShowCollectedAnswer(bool transferEnded)
{
    // A device that answers every line without a window wait makes the answer grow all along
    // the transfer; showing the whole of it on every chunk would cost time in proportion to it.
    if (!transferEnded && fCollectedAnswer.size() > AnswerShownWhileRunning) return;
    fView.ShowCollectedAnswer(fCollectedAnswer);
}

void TBootLoaderSession::ShowCutByLostDevice()
{
    FlashInProgress = false;
    fView.ShowLamps(false, false);
    fView.ShowStatus(CutByLostDevice);
}
