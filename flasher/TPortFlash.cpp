#include "flasher/TPortFlash.h"

#include "flasher/FlashCommandLine.h"
#include "i18n/EInOutError.h"
#include "serial/EQorComPort.h"
#include "serial/SerialConstants.h"
#include "session/OpenFailureReason.h"

#include <cstdio>

namespace {

using TClock = std::chrono::steady_clock;

// After the last line, a device that says nothing for this long has taken the file.
constexpr auto SettleTime = std::chrono::seconds(1);
constexpr std::size_t KeptBytes = 256;
constexpr auto MaxTalkAfterLastLine = std::chrono::seconds(60);
// A match that ends with the last byte is taken once the line has been quiet this long: a
// device at 115200 baud does not pause inside a line.
constexpr auto QuietTime = std::chrono::milliseconds(100);

bool Contains(std::string_view text, std::string_view part)
{
    return text.find(part) != std::string_view::npos;
}

std::string Printable(std::string_view bytes)
{
    std::string text;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b == '\r')
            text += "\\r";
        else if (b == '\n')
            text += "\\n";
        else if (b < 0x20 || b >= 0x7F)
            text += '.';
        else
            text += c;
    }
    return text;
}

std::string Hex(std::string_view bytes)
{
    std::string text;
    char digits[4];
    for (const char c : bytes) {
        std::snprintf(digits, sizeof digits, "%02X ", static_cast<unsigned char>(c));
        text += digits;
    }
    if (!text.empty()) text.pop_back();
    return text;
}

// The device's words: its first line of text, without control bytes.
std::string Words(std::string_view text)
{
    std::string words;
    for (const char c : text) {
        if ((c == '\r' || c == '\n') && !words.empty()) break;
        if (static_cast<unsigned char>(c) >= 0x20) words += c;
    }
    return words;
}

} // namespace

TPortFlash::TPortFlash(const TFlashOptions& options, std::string port, std::string logPath,
                       TProgress progress)
    : fOptions(options), fPortPath(std::move(port)), fProgress(std::move(progress))
{
    if (!logPath.empty()) fLog.open(logPath, std::ios::binary | std::ios::trunc);
}

void TPortFlash::Interrupt()
{
    fLoop.Post([this] {
        fInterrupted = true;
        if (fSession.TransferRunning) fSession.Stop();
    });
}

TPortResult TPortFlash::Failure(TExitCode code, std::string message) const
{
    TPortResult result;
    result.Code = code;
    result.Message = std::move(message);
    // Why the port stopped, when its thread knows: a failure, or a cause only the system words.
    if (const std::string why = fPort.ThreadFailure();
        code == TExitCode::DeviceGone && !why.empty())
        result.Message += " (" + why + ")";
    result.Lines = fLines;
    result.Seconds = std::chrono::duration<double>(TClock::now() - fStart).count();
    return result;
}

std::string TPortFlash::LastBytes() const
{
    const std::string_view last =
        std::string_view(fReceived).substr(fReceived.size() > 48 ? fReceived.size() - 48 : 0);
    return "\"" + Printable(last) + "\" (" + Hex(last) + ")";
}

TPortResult TPortFlash::Run()
{
    fStart = TClock::now();
    if (TPortResult opened = Open(); opened.Code != TExitCode::Flashed) return opened;
    TPortResult result = AwaitDialogue();
    if (result.Code == TExitCode::Flashed) result = Transfer();
    if (result.Code == TExitCode::Flashed) result = AwaitVerdict();
    if (result.Code == TExitCode::Flashed) result = RunCheck(std::move(result));
    try {
        fPort.SetActive(false);
    } catch (const std::exception&) {
        // Closing a port that is gone cannot fail in a way that changes the verdict.
    }
    return result;
}

TPortResult TPortFlash::Open()
{
    // The window's line: 115200 8N1, DTR and RTS on, no handshake.
    fPort.SetBaudrate(115200);
    fPort.SetByteSize(8);
    fPort.SetParity(ptNone);
    fPort.SetStopBits(sbOne);
    fPort.FlowCtrl().SetRxDtrControl(dtrEnable);
    fPort.FlowCtrl().SetRxRtsControl(rtsEnable);
    fPort.SetDevicePath(1, fPortPath);
    fPort.SetPort(1);
    fSession.AutoAnswer = true;
    fSession.FlashType = fOptions.FlashType;
    fSession.ImageOptions = {fOptions.BaseAddress.value_or(0), fOptions.RecordSize};
    fPort.SetOnError([this](TQorComPort&, std::uint32_t error) {
        if ((error & CE_DEVICE_LOST) == 0) return;
        fLost = true;
        fSession.DeviceLost();
    });
    try {
        fPort.SetActive(true);
    } catch (const EQorComPort& e) {
        std::string message = e.what();
        if (const std::string reason = OpenFailureReason(fPortPath, e.ErrorCode()); !reason.empty())
            message += ": " + reason;
        return Failure(TExitCode::CannotOpen, message);
    }
    return {};
}

void TPortFlash::ChunkReceived(std::string_view bytes)
{
    if (fLog.is_open()) fLog.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    fBytesReceived += bytes.size();
    fLastByte = TClock::now();
    fReceived += bytes;
    if (fReceived.size() > 4 * KeptBytes) fReceived.erase(0, fReceived.size() - KeptBytes);
    if (!fSession.TransferRunning) fAfterTransfer += bytes;
    if (fCheck) fCheck->Received(bytes);
    if (Contains(bytes, ">")) fMenuSeen = true;
    if (Contains(bytes, ":") && fSession.Armed) fPasswordSeen = true;
    if (fSession.FlashInProgress && Contains(bytes, "ERREUR") && fRefusal.empty()) {
        fRefusal = Words(std::string_view(bytes).substr(bytes.find("ERREUR")));
        fRefusedAtLine = fSession.LineCount;
    }
}

bool TPortFlash::Awaited(const std::function<bool()>& done)
{
    return fLoop.RunUntil([&] { return done() || Interrupted(); }, fOptions.Timeout) &&
           !Interrupted();
}

TPortResult TPortFlash::AwaitDialogue()
{
    fSession.Init();
    const struct
    {
        bool& Seen;
        const char* What;
    } steps[] = {{fMenuSeen, "the boot loader's menu (\">\") after Init"},
                 {fPasswordSeen, "the password prompt (\":\")"},
                 {fSendSeen, "the device's \"Send\""}};
    for (const auto& step : steps) {
        if (Awaited([&] { return step.Seen; })) continue;
        if (fInterrupted) return Failure(TExitCode::Interrupted, "interrupted before the transfer");
        if (fLost)
            return Failure(TExitCode::DeviceGone, "the device went away before the transfer");
        if (fBytesReceived == 0)
            return Failure(TExitCode::Failed,
                           "no byte at all came back after Init within " +
                               std::to_string(fOptions.Timeout.count()) +
                               " s (wrong port, wrong speed, or the device is not in its boot "
                               "loader)");
        return Failure(TExitCode::Failed,
                       std::string("the device answered something unexpected while waiting for ") +
                           step.What + ": " + LastBytes());
    }
    return {};
}

void TPortFlash::TransferStarted()
{
    fLastByte = TClock::now();
    if (fProgress) fProgress(0, 0);
}

void TPortFlash::ShowProgress(int percent)
{
    if (fProgress) fProgress(percent, fLines);
}

void TPortFlash::Delay(std::uint32_t ms)
{
    fLoop.Delay(ms);
    // Outside the window wait a silent device holds nothing up, unless the line does not move
    // either (a wedged adapter): waiting for the last line's turn is no silence to end.
    if (fPort.OutputPending() > 0) StopIfSilentTooLong();
}

void TPortFlash::WaitUntil(const std::function<bool()>& done, std::uint32_t)
{
    while (!done()) {
        const auto silentUntil = fLastByte + fOptions.Timeout;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(silentUntil - TClock::now());
        fLoop.RunUntil(done, std::max(left, std::chrono::milliseconds(1)));
        StopIfSilentTooLong();
    }
}

void TPortFlash::StopIfSilentTooLong()
{
    if (fSession.TransferRunning && !fSession.TransferCut() &&
        TClock::now() - fLastByte > fOptions.Timeout) {
        fTimedOut = true;
        fSession.Stop();
    }
}

TPortResult TPortFlash::Transfer()
{
    fAfterTransfer.clear();
    try {
        fSession.Flash([this] { return std::optional<std::string>(fOptions.File); });
    } catch (const EInOutError& e) {
        return Failure(TExitCode::Usage, fOptions.File + ": " + e.what());
    } catch (const EQorComPort& e) {
        if (!fLost) return Failure(TExitCode::DeviceGone, e.what());
    }
    if (fInterrupted)
        return Failure(TExitCode::Interrupted, "interrupted at line " + std::to_string(fLines));
    if (fLost || (fSession.TransferCut() && !fSession.StopRequested))
        return Failure(TExitCode::DeviceGone,
                       "the device went away after line " + std::to_string(fLines));
    if (fSession.DeviceRestarted)
        return Failure(TExitCode::Failed, "the device restarted (its menu came back) after line " +
                                              std::to_string(fSession.RestartedAfterLine));
    if (fTimedOut)
        return Failure(TExitCode::Failed,
                       "no answer from the device for " + std::to_string(fOptions.Timeout.count()) +
                           " s in a 64-line window, after line " + std::to_string(fLines));
    if (!fRefusal.empty())
        return Failure(TExitCode::Failed, "the device refused the file: \"" + fRefusal +
                                              "\" (it came after line " +
                                              std::to_string(fRefusedAtLine) + " had been sent)");
    return {};
}

TPortResult TPortFlash::Flashed() const
{
    TPortResult flashed = Failure(TExitCode::Flashed, "flashed");
    flashed.Confirmed = true;
    return flashed;
}

TPortResult TPortFlash::AwaitVerdict()
{
    // No more answers to the menu: the board is flashed, and the rig decides what comes next.
    fSession.AutoAnswer = false;
    // What the board says from now on may be what the check awaits (a loader that starts the
    // application by itself).
    if (!fOptions.Check.empty()) fCheck.emplace(fOptions.Check);
    // A chatty device may still be working through its backlog; one that keeps talking
    // without ever showing its menu is not waited for beyond this.
    const auto giveUp = TClock::now() + MaxTalkAfterLastLine;
    for (;;) {
        if (Contains(fAfterTransfer, "ERREUR"))
            return Failure(TExitCode::Failed,
                           "the device refused the end of the file: \"" +
                               Words(fAfterTransfer.substr(fAfterTransfer.find("ERREUR"))) + "\"");
        if (fSession.DeviceRestarted)
            return Failure(TExitCode::Failed,
                           "the device restarted (its menu came back) after line " +
                               std::to_string(fSession.RestartedAfterLine));
        if (fSession.DeviceConfirmed && !fSession.ConfirmationPending()) return Flashed();
        if (fInterrupted) return Failure(TExitCode::Interrupted, "interrupted after the last line");
        if (fLost)
            return Failure(TExitCode::DeviceGone, "the device went away after the last line");
        const auto now = TClock::now();
        if (now - fLastByte >= SettleTime || now >= giveUp) {
            if (fSession.DeviceConfirmed) return Flashed(); // quiet at its menu
            if (fOptions.RequireConfirmation)
                return Failure(TExitCode::Failed,
                               "sent; the device did not confirm (no menu after the last line)");
            return Failure(TExitCode::Flashed, "sent; the device did not confirm");
        }
        fLoop.RunUntil(
            [&] {
                return (fSession.DeviceConfirmed && !fSession.ConfirmationPending()) ||
                       fSession.DeviceRestarted || Interrupted();
            },
            std::chrono::duration_cast<std::chrono::milliseconds>(
                std::min<TClock::duration>(SettleTime, giveUp - now)));
    }
}

TPortResult TPortFlash::RunCheck(TPortResult flashed)
{
    if (!fCheck) return flashed;
    while (!fCheck->Done()) {
        if (const std::string sends = fCheck->TakeSends(); !sends.empty()) {
            try {
                fPort.WriteString(sends);
            } catch (const EQorComPort& e) {
                if (!fLost) return Failure(TExitCode::DeviceGone, e.what());
            }
        }
        if (fCheck->Done()) break;
        if (TPortResult awaited = AwaitExpectation(); awaited.Code != TExitCode::Flashed) {
            awaited.CheckMatches = fCheck->Matches();
            return awaited;
        }
    }
    flashed.CheckMatches = fCheck->Matches();
    return flashed;
}

TPortResult TPortFlash::AwaitExpectation()
{
    const auto deadline = TClock::now() + fOptions.Timeout;
    for (;;) {
        const auto now = TClock::now();
        const TCheckDialogue::TLook look =
            fCheck->Look(now - fLastByte >= QuietTime || now >= deadline);
        if (look == TCheckDialogue::TLook::Matched) return {};
        if (fInterrupted) return Failure(TExitCode::Interrupted, "interrupted during the check");
        if (fLost) return Failure(TExitCode::DeviceGone, "the device went away during the check");
        if (now >= deadline)
            return Failure(TExitCode::CheckFailed,
                           "flashed, but the check did not see /" + fCheck->Pattern() +
                               "/ within " + std::to_string(fOptions.Timeout.count()) +
                               " s; the device's last bytes: " + LastBytes());
        const auto until = look == TCheckDialogue::TLook::Growing
                               ? std::min(deadline, fLastByte + QuietTime)
                               : deadline;
        const std::size_t before = fBytesReceived;
        fLoop.RunUntil([&] { return fBytesReceived != before || Interrupted(); },
                       std::max(std::chrono::ceil<std::chrono::milliseconds>(until - now),
                                std::chrono::milliseconds(1)));
    }
}
