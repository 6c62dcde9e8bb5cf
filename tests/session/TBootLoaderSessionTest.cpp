// The session's rules without a toolkit: a fake port, a waiter that only runs the port's
// notifications, and a view that records what the session reports.
#include "session/TBootLoaderSession.h"
#include "serial/EQorComPort.h"
#include "serial/SerialConstants.h"
#include "serial/TQorComPort.h"
#include "tests/app/FlashTempDir.h"
#include "tests/serial/FakeSerialBackend.h"
#include "tests/serial/TestMainThread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <numeric>
#include <string>
#include <utility>
#include <vector>

namespace {

class TRecordingView final : public ISessionView
{
public:
    void ShowLamps(bool sending, bool receiving) override { Lamps = {sending, receiving}; }
    void ShowStatus(std::string_view text) override { Status = text; }
    void ShowElapsedSeconds(std::int64_t seconds) override
    {
        if (LinesWhenTimeFirstShown < 0) LinesWhenTimeFirstShown = Lines;
        Elapsed = seconds;
    }
    void ShowLineCount(std::int32_t lines) override { Lines = lines; }
    void ShowFileName(std::string_view name) override { FileName = name; }
    void TransferStarted() override {}
    void ShowProgress(int percent) override { Progress = percent; }
    void EnableFlash() override { FlashEnabled = true; }
    void ShowReceived(std::string_view bytes) override
    {
        Terminal += bytes;
        if (OnShowReceived) OnShowReceived();
    }
    void ReplaceTerminal(std::string_view text) override { Terminal = text; }
    void ShowLatestAnswer(std::string_view bytes) override { LatestAnswers.emplace_back(bytes); }
    void ShowCollectedAnswer(std::string_view answer) override { CollectedAnswer = answer; }
    void ShowChunkLog(std::string_view) override {}

    std::string Status, Terminal, FileName, CollectedAnswer;
    std::vector<std::string> LatestAnswers;
    std::pair<bool, bool> Lamps{false, false};
    std::int32_t Lines = 0;
    std::int32_t LinesWhenTimeFirstShown = -1;
    std::int64_t Elapsed = -1;
    int Progress = -1;
    bool FlashEnabled = false;
    std::function<void()> OnShowReceived;
};

// Each wait runs the port's notifications and lets the test's script act, as a front end's
// event loop would.
class TScriptedWaiter final : public ISessionWaiter
{
public:
    explicit TScriptedWaiter(TTestMainThread& mainThread) : MainThread(mainThread) {}
    void Delay(std::uint32_t ms) override
    {
        Delays.push_back(ms);
        MainThread.RunPending();
        if (Script) Script();
        MainThread.RunPending();
    }
    TTestMainThread& MainThread;
    std::function<void()> Script;
    std::vector<std::uint32_t> Delays;
};

class BootLoaderSession : public ::testing::Test
{
protected:
    BootLoaderSession()
    {
        fPort.SetPort(2);
        fPort.SetBaudrate(115200);
        fPort.SetActive(true);
    }
    // What reached the device since the last call.
    std::string Sent()
    {
        const std::string all = fDevice.Written();
        std::string fresh = all.substr(fSeenBytes);
        fSeenBytes = all.size();
        return fresh;
    }
    void DeviceSays(const std::string& text)
    {
        fDevice.Receive(text);
        ASSERT_TRUE(fMainThread.PumpUntil([&] { return fDevice.BytesWaiting() == 0; }));
    }

    TTestMainThread fMainThread;
    TFakeSerialBackend fBackend;
    TFakePort& fDevice = fBackend.AddPort(SystemPortPath(2));
    TQorComPort fPort{fMainThread, fBackend};
    TScriptedWaiter fWaiter{fMainThread};
    TRecordingView fView;
    TBootLoaderSession fSession{fPort, fWaiter, fView};
    std::size_t fSeenBytes = 0;
};

TEST_F(BootLoaderSession, AnswersTheMenuByFlashTypeAndThePasswordOnlyWhileArmed)
{
    const struct
    {
        bool AutoAnswer;
        int FlashType;
        std::string Answer;
    } cases[] = {{true, 0, "2"}, {true, 1, "1"}, {true, -1, ""}, {false, 0, ""}};
    for (const auto& c : cases) {
        fSession.Armed = false;
        fSession.AutoAnswer = c.AutoAnswer;
        fSession.FlashType = c.FlashType;
        DeviceSays("Password:");
        EXPECT_EQ(Sent(), "") << "not armed";
        DeviceSays("menu >");
        EXPECT_EQ(Sent(), c.Answer);
        DeviceSays("Password:");
        EXPECT_EQ(Sent(), c.AutoAnswer ? "qxvt" : "");
    }
    fSession.Init();
    EXPECT_EQ(Sent(), "\r\n");
    EXPECT_FALSE(fSession.Armed);
    DeviceSays("Send the file");
    EXPECT_TRUE(fView.FlashEnabled);
    EXPECT_NE(fView.Terminal.find("Send the file"), std::string::npos);
}

TEST_F(BootLoaderSession, TheAnswerLeavesBeforeThePromptIsShownWhichIsShownEvenIfItCannot)
{
    std::string writtenWhenShown;
    fView.OnShowReceived = [&] { writtenWhenShown = fDevice.Written(); };
    fSession.AutoAnswer = true;
    DeviceSays("Menu>");
    EXPECT_EQ(writtenWhenShown, "2");

    fDevice.HangUp();
    ASSERT_TRUE(fMainThread.PumpUntil([&] { return fPort.DeviceLost(); }));
    EXPECT_THROW(fSession.Receive("again>"), EQorComPort);
    EXPECT_EQ(fView.Terminal, "Menu>again>");
}

TEST_F(BootLoaderSession, WindowWaitsForTwelveCharactersAndErreurStopsTheFile)
{
    FlashTempDir dir;
    std::string file;
    for (int i = 0; i < 200; ++i)
        file += "S1" + std::to_string(1000 + i) + "\n";
    const std::string path = dir.Write("f.s19", file);

    int step = 0;
    fWaiter.Script = [&] {
        if (fSession.LineCount == 64 && step == 0) {
            step = 1;
            fDevice.Receive("\rok"); // 3 characters: the wait goes on
        } else if (step == 1 && !fSession.ReplyReceived && fDevice.BytesWaiting() == 0) {
            step = 2;
            EXPECT_EQ(fSession.LineCount, 64);
            fDevice.Receive("123456789");                    // 12 with the first chunk
        } else if (fSession.LineCount == 128 && step == 2) { // the next window wait
            step = 3;
            fDevice.Receive("ERREUR 100");
        }
    };
    fSession.Flash([&] { return std::optional<std::string>(path); });

    EXPECT_EQ(step, 3);
    EXPECT_EQ(fView.FileName, "f.s19");
    EXPECT_EQ(fView.Status, "Erreur Transfert ..... flash interrotto...");
    // What was still queued must not reach the device, which would take it as menu input.
    EXPECT_EQ(fDevice.Purges().back(), PURGE_TXABORT | PURGE_TXCLEAR);
    EXPECT_TRUE(fSession.StopRequested);
    EXPECT_FALSE(fSession.FlashInProgress);
    EXPECT_EQ(fSession.LineCount, 128);
    // The CR-led and the refusing chunk leave the third line alone.
    EXPECT_EQ(fView.LatestAnswers, std::vector<std::string>{"1234"});
    EXPECT_EQ(fView.Terminal, "Send file\n\n");
}

// A device seen at its menu before the transfer: showing its banner again before the last line
// is a restart, which sends no more of the file; a '>' in a progress line is not. The last line
// waits for the device, so a restart on the record before it is seen in time. After the last
// line its menu confirms the file, unless its banner came first and the rest of the file then
// met that menu.
TEST_F(BootLoaderSession, ARestartStopsTheFileAndOnlyTheMenuAfterTheLastLineConfirmsIt)
{
    FlashTempDir dir;
    std::string file;
    for (int i = 0; i < 20; ++i)
        file += "S1" + std::to_string(1000 + i) + "\n";
    const std::string path = dir.Write("f.s19", file);
    const struct
    {
        const char* AtLine19;
        const char* AfterLastLine;
        bool Restart, Confirmed;
    } cases[] = {
        {"\r\n\r\nBoot 1.0 ready\r\n", "", true, false},
        {"\rblock 19 -> 0x0400 ok", "\r\nLoad complete\r\nChoice >", false, true},
        {"\rblock 19 ok", "\r\nBoot 1.0 ready\r\nChoice >7\r\nbad choice\r\nChoice >", true, false},
    };
    for (const auto& c : cases) {
        fSession.Init();
        DeviceSays("\r\n\r\nBoot 1.0 ready\r\n 1 boot\r\n 2 app\r\nChoice >");
        Sent();
        bool said = false;
        fWaiter.Script = [&] {
            if (fSession.LineCount != 19 || said) return;
            said = true;
            fDevice.Receive(c.AtLine19);
        };
        fSession.Flash([&] { return std::optional<std::string>(path); });
        const std::string sent = Sent();
        EXPECT_EQ(std::count(sent.begin(), sent.end(), '\r'), *c.AfterLastLine ? 20 : 19);
        EXPECT_FALSE(fSession.DeviceConfirmed);
        if (*c.AfterLastLine) DeviceSays(c.AfterLastLine);
        EXPECT_EQ(fSession.DeviceRestarted, c.Restart) << c.AfterLastLine;
        EXPECT_EQ(fSession.DeviceConfirmed, c.Confirmed) << c.AfterLastLine;
        EXPECT_EQ(fView.Status, c.Restart ? "Flash interrotto: il dispositivo si è riavviato"
                                          : "Flash in corso ......");
        if (c.Restart) {
            EXPECT_EQ(fSession.RestartedAfterLine, *c.AfterLastLine ? 20 : 19);
        }
    }
}

// A full transmit buffer waits as long as the line takes to carry what is over half of it,
// rather than looking again every millisecond; a line that fills it exactly goes at once.
TEST_F(BootLoaderSession, AFullBufferWaitsForTheLineNotForAMillisecond)
{
    FlashTempDir dir;
    std::string file;
    for (int i = 0; i < 12; ++i)
        file += "S1" + std::to_string(1000 + i) + "\n"; // 7 bytes a line with its CR
    const std::string path = dir.Write("f.s19", file);
    fPort.SetBaudrate(9600); // 960 bytes a second
    fDevice.HoldOutput(true);
    const struct
    {
        std::uint32_t TxBuffer, FirstWaitMs;
    } cases[] = {
        {64, 39}, // nine lines hold 63 bytes; the tenth waits for 63 + 7 - 32 = 38 of them
        {63, 40}, // the ninth fills it exactly; the tenth waits for 63 + 7 - 31 = 39
    };
    for (const auto& c : cases) {
        fPort.SetTxBuffer(c.TxBuffer);
        fWaiter.Delays.clear();
        std::int32_t linesAtFirstWait = -1;
        fWaiter.Script = [&] {
            if (fWaiter.Delays.back() == 5) return; // the pacing of the first lines
            if (linesAtFirstWait < 0) linesAtFirstWait = fSession.LineCount;
            fDevice.ReleaseOutput(SIZE_MAX);
        };
        fSession.Flash([&] { return std::optional<std::string>(path); });
        const auto first = std::find_if(fWaiter.Delays.begin(), fWaiter.Delays.end(),
                                        [](std::uint32_t ms) { return ms != 5; });
        ASSERT_NE(first, fWaiter.Delays.end()) << c.TxBuffer;
        EXPECT_EQ(*first, c.FirstWaitMs) << c.TxBuffer;
        EXPECT_EQ(linesAtFirstWait, 9) << c.TxBuffer;
        EXPECT_EQ(fSession.LineCount, 12) << c.TxBuffer;
    }
}

// What the view shows along a transfer: the clock from its start, the answer as it comes, the
// gauge at its end and the lamps off after it; the first 64 lines each after a pause.
TEST_F(BootLoaderSession, TheViewFollowsTheTransferAndTheFirstLinesArePaced)
{
    FlashTempDir dir;
    std::string file;
    for (int i = 0; i < 100; ++i)
        file += "S1" + std::to_string(1000 + i) + "\n";
    const std::string path = dir.Write("f.s19", file);
    std::vector<std::int32_t> pausedAt;
    std::string answerShown;
    fWaiter.Script = [&] {
        if (fWaiter.Delays.back() == 5) pausedAt.push_back(fSession.LineCount);
        if (fSession.LineCount == 64 && answerShown.empty()) {
            DeviceSays("123456789012"); // the window's answer
            answerShown = fView.CollectedAnswer;
        }
    };
    fSession.Flash([&] { return std::optional<std::string>(path); });
    EXPECT_EQ(fSession.LineCount, 100);
    EXPECT_EQ(answerShown, "123456789012"); // as it came, not only at the end
    EXPECT_EQ(fView.LinesWhenTimeFirstShown, 0);
    EXPECT_EQ(fView.Elapsed, 0);
    EXPECT_EQ(fView.Progress, 100);
    EXPECT_EQ(fView.Lamps, std::make_pair(false, false));
    std::vector<std::int32_t> first64(64);
    std::iota(first64.begin(), first64.end(), 0);
    EXPECT_EQ(std::vector<std::int32_t>(pausedAt.begin(),
                                        std::find(pausedAt.begin(), pausedAt.end(), 99)),
              first64);
}

TEST_F(BootLoaderSession, AFailureToWriteThatIsNotALostDeviceIsRaised)
{
    FlashTempDir dir;
    const std::string path = dir.Write("f.s19", "S11000\nS11001\n");
    fPort.SetActive(false);
    EXPECT_THROW(fSession.Flash([&] { return std::optional<std::string>(path); }), EQorComPort);
    EXPECT_FALSE(fSession.FlashInProgress);
    EXPECT_FALSE(fSession.TransferRunning);
}

} // namespace
