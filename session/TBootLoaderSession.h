#pragma once
// A session with the boot loader on one serial port: the automatic answers to its prompts and
// the paced transfer of a firmware file. The rules live here, free of any toolkit, so that the
// window and a command-line flasher run the same dialogue; a front end supplies the wait and
// shows what the session reports.

#include "firmware/FirmwareConversion.h"
#include "session/TRestartWatch.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

class TQorComPort;
class TFirmwareFile;

// Keeps the front end alive for at least ms milliseconds: whatever else must happen meanwhile
// (the port's notifications, Stop) happens inside this call.
class ISessionWaiter
{
public:
    virtual ~ISessionWaiter() = default;
    virtual void Delay(std::uint32_t ms) = 0;
    // Handles events until done() holds, which only an event can change. By default it looks
    // again after every Delay(pollMs), as the window's nested loop does; a waiter that runs every
    // event itself may sleep until one comes instead.
    virtual void WaitUntil(const std::function<bool()>& done, std::uint32_t pollMs)
    {
        while (!done())
            Delay(pollMs);
    }
};

// What the session reports as it goes. Texts are UTF-8; received bytes are passed as they came.
class ISessionView
{
public:
    virtual ~ISessionView() = default;
    virtual void ShowLamps(bool sending, bool receiving) = 0;
    virtual void ShowStatus(std::string_view text) = 0;
    virtual void ShowElapsedSeconds(std::int64_t seconds) = 0;
    virtual void ShowLineCount(std::int32_t lines) = 0;
    virtual void ShowFileName(std::string_view name) = 0;
    virtual void TransferStarted() = 0; // the file is open, its first line about to go
    virtual void ShowProgress(int percent) = 0;
    virtual void EnableFlash() = 0;
    // The terminal: bytes received outside a transfer, the transfer's own text, and the start
    // of the device's latest answer on the transfer's third line.
    virtual void ShowReceived(std::string_view bytes) = 0;
    virtual void ReplaceTerminal(std::string_view text) = 0;
    virtual void ShowLatestAnswer(std::string_view firstBytes) = 0;
    // The hidden logs: the answer collected for the window wait, and one entry per chunk.
    virtual void ShowCollectedAnswer(std::string_view answer) = 0;
    virtual void ShowChunkLog(std::string_view log) = 0;
    // Every chunk the port delivers, before the session acts on it (a log, a watcher).
    virtual void ChunkReceived(std::string_view /*bytes*/) {}
};

class TBootLoaderSession
{
public:
    // The session is the port's data subscriber from construction until its destruction.
    TBootLoaderSession(TQorComPort& port, ISessionWaiter& waiter, ISessionView& view);
    ~TBootLoaderSession();
    TBootLoaderSession(const TBootLoaderSession&) = delete;
    TBootLoaderSession& operator=(const TBootLoaderSession&) = delete;

    // --- the prompt responder
    // Read by Receive: answer prompts at all, and which flash type ">" is answered with
    // (0 firmware "2", 1 boot "1", anything else no answer).
    bool AutoAnswer = true;
    int FlashType = 0;
    // Every ':' is answered with the password while armed.
    bool Armed = false;
    // The port's data notification: reads what arrived and handles it.
    void ComPortDataAvailable(TQorComPort& Sender);
    // Handles one received chunk: the transfer's branch while FlashInProgress, else the
    // terminal and the automatic answers.
    void Receive(const std::string& S);
    // Init: wakes the boot loader and disarms.
    void Init();
    // A typed line or a quick digit: sent as is, and arms.
    void SendTyped(std::string_view text);

    // --- the transfer
    // How a file that is not text (Intel HEX, ELF, raw binary) becomes S-records.
    TImageOptions ImageOptions;
    bool StopRequested = false;
    bool FlashInProgress = false;
    bool ReplyReceived = false;
    bool TransferRunning = false; // from Flash until its loop has ended, also after Stop
    std::int32_t LineCount = 0;
    std::int32_t WindowCount = 0;
    // The device showed its banner or menu again before the last line went out: it restarted
    // and took the rest of the file as menu input. The transfer stops as after "ERREUR".
    bool DeviceRestarted = false;
    std::int32_t RestartedAfterLine = 0;
    // After the last line the device came back to its menu prompt: it took the whole file.
    bool DeviceConfirmed = false;
    // The device's words after the last line may still change the verdict: nothing confirmed
    // it yet, or it showed its banner before its menu, which only its falling quiet settles.
    bool ConfirmationPending() const { return fJudgingAfterLastLine; }
    // Runs a whole transfer of the file that choose() names (nullopt: cancelled); returns when it
    // has ended. Failures (the file, the port) end it through the clean-up and are thrown.
    void Flash(const std::function<std::optional<std::string>()>& choose);
    void Stop();
    // The device went away; a transfer under way ends at once.
    void DeviceLost();
    // Stop, "ERREUR" or a lost device: the transfer ends at its next step.
    bool TransferCut() const;
    // The transfer's branch of Receive.
    void ReceiveDuringTransfer(const std::string& S);

private:
    // note: the terminal's line under "Send file", empty unless the file was converted.
    void RunTransfer(TFirmwareFile& file, std::string_view note);
    void WaitForTransmitRoom(std::size_t bytes);
    void WaitForLine(std::size_t bytes);
    void AwaitDeviceBeforeLastLine();
    double LineBytesPerSecond() const;
    void WriteLine(const std::string& line);
    void StopForRestart();
    void JudgeAfterLastLine(std::string_view S);
    void DropQueuedLines();
    void ShowElapsedTime();
    void ShowCollectedAnswer(bool transferEnded);
    void ShowCutByLostDevice();

    TQorComPort& fPort;
    ISessionWaiter& fWaiter;
    ISessionView& fView;
    bool fDeviceLostInTransfer = false;
    TRestartWatch fRestartWatch;
    bool fSendingFile = false; // from the file's first line until the line has carried it
    bool fLastLineWritten = false;
    bool fJudgingAfterLastLine = false;
    double fWireFreeAtMs = 0; // when the line will have carried what was written
    double fLastWriteMs = 0;
    double fLastByteMs = -1; // in this transfer
    std::int64_t fStartMs = 0;
    std::int64_t fShownElapsedSeconds = -1;
    std::string fCollectedAnswer;
    std::string fChunkLog;
};
