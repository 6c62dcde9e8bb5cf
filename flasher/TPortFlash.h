#pragma once
// One board on one port: open it, wake its boot loader, let the session answer its prompts, send
// the file, and wait for the device's verdict. Runs on a thread of its own; everything of this
// port (component, session, event loop) belongs to that thread.

#include "flasher/TCheckDialogue.h"
#include "serial/TQorComPort.h"
#include "session/TBootLoaderSession.h"
#include "session/TSessionEventLoop.h"

#include <chrono>
#include <cstdint>
#include <fstream>
#include <functional>
#include <optional>
#include <string>

struct TFlashOptions;

// tarvel-flash's exit codes, as its help lists them.
enum class TExitCode : int {
    Flashed = 0,       // also sent whole but unconfirmed, unless confirmation is required
    Failed = 1,        // refused, restarted, silent, or unconfirmed when that is required
    Usage = 2,         // a usage error or a firmware file that cannot be sent
    CannotOpen = 3,    // a port could not be opened
    DeviceGone = 4,    // a device went away during the session
    CheckFailed = 5,   // flashed, but the check after the flash did not see what it awaited
    Interrupted = 130, // Ctrl-C
};

struct TPortResult
{
    TExitCode Code = TExitCode::Flashed;
    std::string Message;
    std::int32_t Lines = 0;
    double Seconds = 0;
    // With code 0: the device came back to its menu after the last line. Without, every line
    // went out and nothing was refused, but the device said nothing to confirm it.
    bool Confirmed = false;
    std::vector<std::string> CheckMatches; // what each of the check's expectations matched
};

class TPortFlash final : private ISessionView, private ISessionWaiter
{
public:
    // progress(percent, lines) is called on this port's thread as the transfer goes.
    using TProgress = std::function<void(int percent, std::int32_t lines)>;
    TPortFlash(const TFlashOptions& options, std::string port, std::string logPath,
               TProgress progress);

    TPortResult Run();
    // Any thread: stops the transfer, or the wait for the device, at once.
    void Interrupt();

private:
    TPortResult Open();
    TPortResult AwaitDialogue();
    TPortResult Transfer();
    TPortResult AwaitVerdict();
    TPortResult RunCheck(TPortResult flashed);
    TPortResult AwaitExpectation();
    bool Awaited(const std::function<bool()>& done);
    bool Interrupted() const { return fInterrupted || fLost; }
    TPortResult Failure(TExitCode code, std::string message) const;
    TPortResult Flashed() const;
    std::string LastBytes() const;

    // ISessionWaiter: the event loop's wait, with the time-out on a silent device.
    void Delay(std::uint32_t ms) override;
    // Sleeps until an event comes rather than looking every pollMs.
    void WaitUntil(const std::function<bool()>& done, std::uint32_t pollMs) override;
    // A device that stops answering would hold the transfer in its window wait for ever.
    void StopIfSilentTooLong();
    // ISessionView: only what a command line reports; every chunk is logged and watched for
    // the dialogue's steps before the session answers it.
    void ChunkReceived(std::string_view bytes) override;
    void ShowLamps(bool, bool) override {}
    void ShowStatus(std::string_view) override {}
    void ShowElapsedSeconds(std::int64_t) override {}
    void ShowLineCount(std::int32_t lines) override { fLines = lines; }
    void ShowFileName(std::string_view) override {}
    void TransferStarted() override;
    void ShowProgress(int percent) override;
    void EnableFlash() override { fSendSeen = true; }
    void ShowReceived(std::string_view) override {}
    void ReplaceTerminal(std::string_view) override {}
    void ShowLatestAnswer(std::string_view) override {}
    void ShowCollectedAnswer(std::string_view) override {}
    void ShowChunkLog(std::string_view) override {}

    const TFlashOptions& fOptions;
    const std::string fPortPath;
    TProgress fProgress;
    std::ofstream fLog;

    TSessionEventLoop fLoop;
    TQorComPort fPort{fLoop};
    TBootLoaderSession fSession{fPort, *this, *this};

    std::chrono::steady_clock::time_point fStart;
    std::chrono::steady_clock::time_point fLastByte;
    std::string fReceived;                // since Init, the last few hundred bytes
    std::string fAfterTransfer;           // since the last line went out
    std::string fRefusal;                 // the device's words with "ERREUR"
    std::optional<TCheckDialogue> fCheck; // fed from the verdict on
    std::size_t fBytesReceived = 0;
    bool fMenuSeen = false;
    bool fPasswordSeen = false;
    bool fSendSeen = false;
    bool fTimedOut = false;
    bool fLost = false;
    bool fInterrupted = false; // set by Interrupt, through the loop
    std::int32_t fLines = 0;
    std::int32_t fRefusedAtLine = 0;
};
