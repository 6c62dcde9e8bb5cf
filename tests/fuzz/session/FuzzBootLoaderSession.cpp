// libFuzzer target: the boot-loader session on the fake port of the serial tests, driven by a
// script the input makes: what the device sends and in which chunks, and what the user does
// (Stop, Init, typed text, a click on Flash, the file dialog's wait, the line held back or let
// go, the device pulled), in the dialogue and during the transfer of a small generated file.
// The session must neither crash nor hang, and the port may only see the file's lines in order
// (once the transfer is cut, at most the line under way), the responder's answers and what the
// user typed. A device that restarted never counts as having confirmed a file, nor does one that
// did not get all of it.
#include "serial/EQorComPort.h"
#include "serial/ISerialBackend.h"
#include "serial/SerialConstants.h"
#include "serial/TQorComPort.h"
#include "session/MillisecondTick.h"
#include "session/TBootLoaderSession.h"
#include "tests/fuzz/session/FuzzMemoryFile.h"
#include "tests/serial/FakeSerialBackend.h"
#include "tests/serial/TestMainThread.h"
#include "tests/support/TFuzzInput.h"
#include "tests/support/TFuzzRule.h"

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace {
// Starts again for every input, so that an input always runs the same.
constexpr std::int64_t ClockStartMs = 1'000'000;
std::int64_t ClockMs = ClockStartMs;
} // namespace

// The session reads the time through these (session/MillisecondTick.h). This target supplies
// them in place of the library's, as a clock that only the session's waits move: its timed waits
// (the last line's) then take no real time, and every input runs the same.
std::int64_t MonotonicMilliseconds()
{
    return ClockMs;
}

std::uint32_t MillisecondTick()
{
    return static_cast<std::uint32_t>(ClockMs);
}

namespace {

constexpr TFuzzRule Rule("session");

// Only against a communication thread that never hands a chunk over: the script itself waits
// for nothing else.
constexpr auto HangGuard = std::chrono::seconds(20);

// Twelve characters: the window wait's answer in the script's closing part.
constexpr std::string_view FullAnswer = "0123456789AB";

// Forwards to the fake device and reports every byte it accepted.
class TRecordingDevice final : public ISerialDevice
{
public:
    using TOnWrite = std::function<void(std::string_view)>;
    TRecordingDevice(std::unique_ptr<ISerialDevice> inner, TOnWrite onWrite)
        : fInner(std::move(inner)), fOnWrite(std::move(onWrite))
    {
    }

    TDeviceResult<TDeviceControlBlock> GetState() override { return fInner->GetState(); }
    TDeviceResult<> SetState(const TDeviceControlBlock& state) override
    {
        return fInner->SetState(state);
    }
    TDeviceResult<> SetQueueSizes(uint32_t rxSize, uint32_t txSize) override
    {
        return fInner->SetQueueSizes(rxSize, txSize);
    }
    TDeviceResult<> SetEventMask(uint32_t mask) override { return fInner->SetEventMask(mask); }
    TIoResult Read(std::span<std::byte> buffer) override { return fInner->Read(buffer); }
    TIoResult Write(std::span<const std::byte> data) override
    {
        const TIoResult result = fInner->Write(data);
        if (result.Ok() && result.Value > 0)
            fOnWrite(std::string_view(reinterpret_cast<const char*>(data.data()), result.Value));
        return result;
    }
    TDeviceResult<uint32_t> BytesWaiting() override { return fInner->BytesWaiting(); }
    TDeviceResult<uint32_t> OutputQueued() override { return fInner->OutputQueued(); }
    TDeviceResult<bool> TransmitterEmpty() override { return fInner->TransmitterEmpty(); }
    uint32_t UncountedOutputBytes() override { return fInner->UncountedOutputBytes(); }
    TDeviceResult<> Purge(uint32_t flags) override { return fInner->Purge(flags); }
    TDeviceResult<> EnterLowLatency() override { return fInner->EnterLowLatency(); }
    void LeaveLowLatency() override { fInner->LeaveLowLatency(); }
    TDeviceResult<uint32_t> ModemStatus() override { return fInner->ModemStatus(); }
    TDeviceResult<TLineErrorCounters> ErrorCounters() override { return fInner->ErrorCounters(); }
    TDeviceResult<> WaitModemChange(uint32_t msMask, uint32_t knownStatus) override
    {
        return fInner->WaitModemChange(msMask, knownStatus);
    }
    void InterruptModemWait() override { fInner->InterruptModemWait(); }
    TPortWait Wait(const TWakeUpEvent& wake, bool wantWrite, int timeoutMs) override
    {
        return fInner->Wait(wake, wantWrite, timeoutMs);
    }

private:
    std::unique_ptr<ISerialDevice> fInner;
    TOnWrite fOnWrite;
};

class TRecordingBackend final : public ISerialBackend
{
public:
    TRecordingBackend(ISerialBackend& inner, TRecordingDevice::TOnWrite onWrite)
        : fInner(inner), fOnWrite(std::move(onWrite))
    {
    }
    TDeviceResult<std::unique_ptr<ISerialDevice>> Open(const std::string& path) override
    {
        TDeviceResult<std::unique_ptr<ISerialDevice>> opened = fInner.Open(path);
        if (!opened) return opened;
        return std::unique_ptr<ISerialDevice>(
            std::make_unique<TRecordingDevice>(std::move(opened.Value), fOnWrite));
    }

private:
    ISerialBackend& fInner;
    TRecordingDevice::TOnWrite fOnWrite;
};

// The port on its fake device, kept from one input to the next while both are whole: opening a
// port starts its communication thread, which costs more than most inputs do. The fake keeps all
// that reached it, so the rig is made anew now and then.
class TPortRig
{
public:
    TPortRig()
        : Device(Fakes.AddPort(SystemPortPath(2))),
          Backend(Fakes, [this](std::string_view bytes) { Written(bytes); }),
          Port(MainThread, Backend)
    {
        Port.SetPort(2);
        Port.SetActive(true);
    }

    bool Reusable() const
    {
        return !HungUp && Port.Active() && !Port.DeviceLost() && BytesWritten < 4'000'000 &&
               Uses < 10'000;
    }

    TTestMainThread MainThread;
    TFakeSerialBackend Fakes;
    TFakePort& Device;
    TRecordingBackend Backend;
    TQorComPort Port;
    bool HungUp = false;
    std::size_t BytesWritten = 0;
    int Uses = 0;
    std::function<void(std::string_view)> OnWrite; // the input being run

private:
    void Written(std::string_view bytes)
    {
        BytesWritten += bytes.size();
        if (!OnWrite) Rule.Fail("a write between two inputs");
        OnWrite(bytes);
    }
};

TPortRig& FreshRig()
{
    static std::unique_ptr<TPortRig> rig;
    if (!rig || !rig->Reusable()) {
        rig.reset();
        rig = std::make_unique<TPortRig>();
    }
    ++rig->Uses;
    return *rig;
}

TFuzzMemoryFile& FirmwareFile()
{
    static TFuzzMemoryFile file("tarvel-fuzz-firmware");
    return file;
}

// Who may be writing to the port at the moment, as far as the script knows.
enum class TWriter { Nobody, Transfer, Responder, User };

// The front end: its waits run the script, its view checks what the session reports, and it
// hands the port's chunks to the session as the window does.
class TScriptedFrontEnd final : public ISessionWaiter, public ISessionView
{
public:
    TScriptedFrontEnd(const uint8_t* data, std::size_t size, TPortRig& rig)
        : fInput(data, size), fRig(rig), fMainThread(rig.MainThread), fDevice(rig.Device),
          fPort(rig.Port), fSession(fPort, *this, *this)
    {
        fRig.OnWrite = [this](std::string_view bytes) { OnWrite(bytes); };
    }

    ~TScriptedFrontEnd() override
    {
        // The next input finds the port as a new one: no handlers, nothing held or pending.
        fPort.SetOnDataAvailable(nullptr);
        fPort.SetOnError(nullptr);
        fRig.OnWrite = nullptr;
        fDevice.HoldOutput(false);
        fDevice.ReleaseOutput(SIZE_MAX);
        fPort.PurgeTx();
        fMainThread.RunPending();
    }

    void Run()
    {
        const uint8_t setup = fInput.Byte();
        fStopAtEnd = (setup & 1) != 0;
        fSession.AutoAnswer = (setup & 2) != 0;
        fSession.FlashType = (setup >> 2) % 3;
        fCloseOnLoss = (setup & 0x10) != 0;
        static constexpr uint32_t TxBuffers[] = {16, 64, 512, 8192};
        static constexpr int Baudrates[] = {1200, 115200};
        fPort.SetTxBuffer(TxBuffers[(setup >> 5) & 3]);
        fPort.SetBaudrate(Baudrates[(setup >> 7) & 1]);
        fPort.SetOnDataAvailable([this](TQorComPort& port) {
            const std::string bytes = port.ReadString();
            fDelivered += bytes.size();
            DeviceBytes(bytes);
        });
        fPort.SetOnError([this](TQorComPort&, uint32_t error) {
            if ((error & CE_DEVICE_LOST) == 0) return;
            // As the window does: the session hears of it, and the port is closed.
            fSession.DeviceLost();
            NoteCut();
            if (fCloseOnLoss) fPort.SetActive(false);
        });
        while (!fInput.Empty())
            Act(false);
        fMainThread.RunPending();
    }

private:
    // --- the waits
    void Delay(std::uint32_t ms) override
    {
        ClockMs += ms;
        const TWriterScope nobody(*this, TWriter::Nobody);
        NoteCut();
        fMainThread.RunPending();
        NoteCut();
        if (!fInput.Empty()) {
            Act(true);
        } else {
            // The script has ended: the transfer must end too, after a few steps.
            if (!fEndBudget)
                fEndBudget = fStopAtEnd ? 4 : 4 * (fFileLines.size() - fLinesWritten) + 16;
            Rule.Check(*fEndBudget > 0, "the transfer does not end once the script has");
            --*fEndBudget;
            if (fStopAtEnd) {
                fSession.Stop();
            } else {
                // A device that takes every line and answers every window.
                fDevice.HoldOutput(false);
                fDevice.ReleaseOutput(SIZE_MAX);
                if (fInWindow) DeviceSends(FullAnswer);
            }
        }
        fMainThread.RunPending();
        NoteCut();
    }

    void WaitUntil(const std::function<bool()>& done, std::uint32_t pollMs) override
    {
        fInWindow = true;
        ISessionWaiter::WaitUntil(done, pollMs);
        fInWindow = false;
    }

    // --- the view
    void ShowLamps(bool, bool) override { NoteCut(); }
    void ShowStatus(std::string_view) override { NoteCut(); }
    void ShowElapsedSeconds(std::int64_t) override {}
    void ShowLineCount(std::int32_t lines) override
    {
        Rule.Check(lines > 0 && static_cast<std::size_t>(lines) <= fFileLines.size(),
                   "more lines counted than the file has");
        NoteCut();
    }
    void ShowFileName(std::string_view) override {}
    void TransferStarted() override
    {
        Rule.Check(fChosen && !fStarted, "a transfer started twice or without a file");
        fStarted = true;
    }
    void ShowProgress(int) override {}
    void EnableFlash() override {}
    void ShowReceived(std::string_view) override { NoteCut(); }
    void ReplaceTerminal(std::string_view) override {}
    void ShowLatestAnswer(std::string_view) override {}
    void ShowCollectedAnswer(std::string_view) override {}
    void ShowChunkLog(std::string_view) override {}

    // --- the script
    void Act(bool inTransfer)
    {
        const uint8_t op = fInput.Byte();
        switch (op % 16) {
        case 0:
        case 1:
        case 2:
        case 3:
        case 4:
            Arrives(std::string(fInput.Take(1 + fInput.Byte() % 24)), inTransfer);
            break;
        case 5:
            Arrives(std::string(fInput.Take(fInput.Byte())), inTransfer);
            break;
        case 6: {
            const TWriterScope nobody(*this, TWriter::Nobody);
            fSession.Stop();
            break;
        }
        case 7:
            UserTypes("\r\n", [this] { fSession.Init(); });
            break;
        case 8: {
            const std::string text(fInput.Take(fInput.Byte() % 8));
            UserTypes(text, [&] { fSession.SendTyped(text); });
            break;
        }
        case 9:
            fDevice.HoldOutput((op & 0x10) != 0);
            break;
        case 10:
            fDevice.ReleaseOutput(fInput.Byte() * std::size_t{4});
            break;
        case 11:
            break; // time passes
        case 12:
            if (inTransfer) {
                // A click during a transfer must not start another one.
                const TWriterScope nobody(*this, TWriter::Nobody);
                fSession.Flash([]() -> std::optional<std::string> {
                    Rule.Fail("a second transfer asked for a file");
                });
            } else if (fTransfers < 3) {
                Flash();
            }
            break;
        case 13: {
            const uint8_t settings = fInput.Byte();
            fSession.AutoAnswer = (settings & 1) != 0;
            fSession.FlashType = (settings >> 1) % 3;
            if (settings & 8) fSession.Armed = (settings & 16) != 0;
            break;
        }
        case 14:
            // Text handed to the session without the port, as a test would.
            DeviceBytes(std::string(fInput.Take(fInput.Byte() % 16)));
            break;
        case 15: {
            const uint8_t how = fInput.Byte();
            if (how < 8) {
                HangUp();
            } else if (how < 40 && !fChoosing) {
                // Not while the file is being chosen: the session forgets a loss reported then
                // when it starts sending, and sends with FlashInProgress off, so the answers go to
                // the responder and the window wait lasts until Stop. A loss that closes the port
                // (HangUp) ends that transfer at its first line instead.
                const TWriterScope nobody(*this, TWriter::Nobody);
                fSession.DeviceLost();
            }
            break;
        }
        }
        NoteCut();
    }

    void Flash()
    {
        ++fTransfers;
        // The file: numbered lines, so any line out of order or twice shows; what follows a
        // Ctrl-Z is never sent. Up to two window waits; most files are shorter.
        const std::size_t lines = fInput.Byte() % 4 == 0 ? fInput.Byte() % 140 : fInput.Byte() % 12;
        const uint8_t shape = fInput.Byte();
        const std::size_t width = 4 + shape % 32;
        const bool crlf = (shape & 0x20) != 0;
        const bool ctrlZ = (shape & 0x40) != 0;
        const bool cancel = (shape & 0x80) != 0 && fInput.Byte() < 32;
        std::string text;
        fFileLines.clear();
        for (std::size_t i = 0; i < lines; ++i) {
            std::string line = "S1" + std::to_string(1000 + i);
            line.resize(std::max(line.size(), width), static_cast<char>('A' + i % 26));
            text += line + (crlf ? "\r\n" : "\n");
            fFileLines.push_back(line + '\r');
        }
        if (ctrlZ) text += "\x1aS9030000FC\n";
        FirmwareFile().Replace(text);

        fLinesWritten = 0;
        fLinesAtCut.reset();
        fEndBudget.reset();
        fChosen = false;
        fStarted = false;
        // The file dialog runs a nested event loop: the script goes on meanwhile.
        const std::size_t dialogSteps = fInput.Byte() % 4 == 0 ? fInput.Byte() % 4 : 0;
        bool failed = false;
        try {
            const TWriterScope transfer(*this, TWriter::Transfer);
            fSession.Flash([&]() -> std::optional<std::string> {
                fChosen = true;
                const TWriterScope nobody(*this, TWriter::Nobody);
                fChoosing = true;
                for (std::size_t i = 0; i < dialogSteps && !fInput.Empty(); ++i)
                    Act(true);
                fChoosing = false;
                if (cancel) return std::nullopt;
                return FirmwareFile().Path();
            });
        } catch (const EQorComPort&) {
            // Only a port that the window closed on a loss leaves a transfer this way.
            Rule.Check(fCloseOnLoss && !fPort.Active(), "the transfer ended with a port error");
            failed = true;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "session fuzz: %s\n", e.what());
            Rule.Fail("the transfer ended with an error");
        }
        NoteCut();

        Rule.Check(fChosen, "no file was asked for");
        Rule.Check(!fSession.TransferRunning && !fSession.FlashInProgress,
                   "the transfer still counts as running after it returned");
        if (cancel) Rule.Check(fLinesWritten == 0 && !fStarted, "a cancelled transfer sent lines");
        if (fStarted && !fLinesAtCut && !failed) {
            // Not cut: the whole file went, and the line has carried it.
            Rule.Check(fLinesWritten == fFileLines.size(), "a transfer ended before its last line");
            Rule.Check(fPort.OutputPending() == 0, "a transfer ended before the line carried it");
        }
        if (fStarted) fWholeFileSent = fLinesWritten == fFileLines.size() && !failed;
        CheckVerdict();
        fFileLines.clear();
        fStarted = false;
    }

    // A board counts as flashed only when its menu came back after the whole file, and never
    // once it showed that it restarted.
    void CheckVerdict() const
    {
        Rule.Check(!(fSession.DeviceConfirmed && fSession.DeviceRestarted),
                   "a restarted device counts as confirmed");
        // During a transfer its own lines count, after it what it sent in the end.
        const bool wholeFile = fStarted ? fLinesWritten == fFileLines.size() : fWholeFileSent;
        if (fSession.DeviceConfirmed)
            Rule.Check(wholeFile, "a device counts as confirmed without the whole file");
    }

    // During a transfer the bytes come as the window gets them, through the port's notification.
    // The dialogue takes them straight: the same handler, without the two threads' hand-over,
    // which costs more than the rest of most inputs.
    void Arrives(const std::string& bytes, bool inTransfer)
    {
        if (inTransfer)
            DeviceSends(bytes);
        else
            DeviceBytes(bytes);
    }

    // The device sends bytes; returns once the session has had all of them.
    void DeviceSends(std::string_view bytes)
    {
        if (bytes.empty() || fHungUp || !fPort.Active()) return;
        const std::size_t target = fDelivered + bytes.size();
        fDevice.Receive(bytes);
        Rule.Check(fMainThread.PumpUntil([&] { return fDelivered >= target; }, HangGuard),
                   "received bytes never reached the session");
    }

    void DeviceBytes(const std::string& bytes)
    {
        const bool duringTransfer = fSession.FlashInProgress;
        fAnswered.clear();
        {
            const TWriterScope responder(*this, TWriter::Responder);
            try {
                fSession.Receive(bytes);
            } catch (const EQorComPort&) {
                Rule.Check(!fPort.Active() || fPort.DeviceLost(),
                           "an answer failed on a live port");
            }
        }
        NoteCut();
        CheckVerdict();
        static constexpr std::string_view Answers[] = {"", "1", "2", "qxvt", "1qxvt", "2qxvt"};
        Rule.Check(std::find(std::begin(Answers), std::end(Answers), fAnswered) !=
                       std::end(Answers),
                   "an answer that is no answer");
        if (!fAnswered.empty())
            Rule.Check(bytes.find_first_of(">:") != std::string::npos,
                       "an answer without a prompt");
        if (duringTransfer && !fSession.TransferCut())
            Rule.Check(fAnswered.empty(), "an answer went into the running transfer");
    }

    template <class TAction> void UserTypes(const std::string& expected, TAction action)
    {
        fTyped.clear();
        bool failed = false;
        {
            const TWriterScope user(*this, TWriter::User);
            try {
                action();
            } catch (const EQorComPort&) {
                Rule.Check(!fPort.Active() || fPort.DeviceLost(), "typing failed on a live port");
                failed = true;
            }
        }
        Rule.Check(fTyped == (failed ? std::string() : expected), "typed text not sent as typed");
    }

    void HangUp()
    {
        if (fHungUp) return;
        fHungUp = true;
        fRig.HungUp = true;
        // From here nothing reaches the device at all; the transfer counts as cut already.
        if (fStarted && fSession.TransferRunning && !fLinesAtCut) fLinesAtCut = fLinesWritten;
        fDevice.HangUp();
        if (!fPort.Active()) return;
        Rule.Check(
            fMainThread.PumpUntil([&] { return fPort.DeviceLost() || !fPort.Active(); }, HangGuard),
            "a pulled device is not noticed");
    }

    void NoteCut()
    {
        // Counted from the transfer's first line on: a cut before it is the dialog's business.
        if (fStarted && fSession.TransferRunning && fSession.TransferCut() && !fLinesAtCut)
            fLinesAtCut = fLinesWritten;
    }

    void OnWrite(std::string_view bytes)
    {
        Rule.Check(std::this_thread::get_id() == fMainThreadId,
                   "the script's assumption: only the main thread writes");
        switch (fWriter) {
        case TWriter::Nobody:
            Rule.Fail("a write nobody asked for");
        case TWriter::Transfer:
            Rule.Check(fLinesWritten < fFileLines.size(), "more lines sent than the file has");
            Rule.Check(bytes == fFileLines[fLinesWritten], "a line sent out of order or altered");
            ++fLinesWritten;
            if (fLinesAtCut)
                Rule.Check(fLinesWritten <= *fLinesAtCut + 1, "the file goes on after the cut");
            break;
        case TWriter::Responder:
            fAnswered += bytes;
            break;
        case TWriter::User:
            fTyped += bytes;
            break;
        }
    }

    class TWriterScope
    {
    public:
        TWriterScope(TScriptedFrontEnd& owner, TWriter writer)
            : fOwner(owner), fSaved(std::exchange(owner.fWriter, writer))
        {
        }
        ~TWriterScope() { fOwner.fWriter = fSaved; }
        TWriterScope(const TWriterScope&) = delete;
        TWriterScope& operator=(const TWriterScope&) = delete;

    private:
        TScriptedFrontEnd& fOwner;
        TWriter fSaved;
    };

    TFuzzInput fInput;
    const std::thread::id fMainThreadId = std::this_thread::get_id();
    TPortRig& fRig;
    TTestMainThread& fMainThread;
    TFakePort& fDevice;
    TQorComPort& fPort;
    TBootLoaderSession fSession;

    bool fStopAtEnd = false;
    bool fCloseOnLoss = false;
    bool fHungUp = false;
    bool fInWindow = false;
    int fTransfers = 0;
    std::size_t fDelivered = 0;
    TWriter fWriter = TWriter::Nobody;
    std::string fAnswered;
    std::string fTyped;

    // The transfer under way.
    std::vector<std::string> fFileLines; // each with the CR it is sent with
    std::size_t fLinesWritten = 0;
    std::optional<std::size_t> fLinesAtCut;
    std::optional<std::size_t> fEndBudget;
    bool fChosen = false;
    bool fChoosing = false;
    bool fWholeFileSent = false; // by the last transfer that began
    bool fStarted = false;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    ClockMs = ClockStartMs;
    TScriptedFrontEnd frontEnd(data, size, FreshRig());
    frontEnd.Run();
    return 0;
}
