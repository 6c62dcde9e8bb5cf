// The session's rules without a toolkit: a fake port, a waiter that only runs the port's
// notifications, and a view that records what the session reports.
#include "session/TBootLoaderSession.h"
#include "serial/TQorComPort.h"
#include "tests/app/FlashTempDir.h"
#include "tests/serial/FakeSerialBackend.h"
#include "tests/serial/TestMainThread.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

class TRecordingView final : public ISessionView
{
public:
    void ShowLamps(bool, bool) override {}
    void ShowStatus(std::string_view text) override { Status = text; }
    void ShowElapsedSeconds(std::int64_t) override {}
    void ShowLineCount(std::int32_t) override {}
    void ShowFileName(std::string_view) override {}
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
    void ShowCollectedAnswer(std::string_view) override {}
    void ShowChunkLog(std::string_view) override {}

    std::string Status, Terminal;
    std::vector<std::string> LatestAnswers;
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
    void Delay(std::uint32_t) override
    {
        MainThread.RunPending();
        if (Script) Script();
        MainThread.RunPending();
    }
    TTestMainThread& MainThread;
    std::function<void()> Script;
};

class BootLoaderSession : public ::testing::Test
{
protected:
    BootLoaderSession()
    {
        Port.SetPort(2);
        Port.SetBaudrate(115200);
        Port.SetOnDataAvailable([this](TQorComPort& p) { Session.Receive(p.ReadString()); });
        Port.SetActive(true);
    }
    // What reached the device since the last call.
    std::string Sent()
    {
        const std::string all = Device.Written();
        std::string fresh = all.substr(SeenBytes);
        SeenBytes = all.size();
        return fresh;
    }
    void DeviceSays(const std::string& text)
    {
        Device.Receive(text);
        ASSERT_TRUE(MainThread.PumpUntil([&] { return Device.BytesWaiting() == 0; }));
    }

    TTestMainThread MainThread;
    TFakeSerialBackend Backend;
    TFakePort& Device = Backend.AddPort("/dev/ttyS1");
    TQorComPort Port{MainThread, Backend};
    TScriptedWaiter Waiter{MainThread};
    TRecordingView View;
    TBootLoaderSession Session{Port, Waiter, View};
    std::size_t SeenBytes = 0;
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
        Session.Armed = false;
        Session.AutoAnswer = c.AutoAnswer;
        Session.FlashType = c.FlashType;
        DeviceSays("Password:");
        EXPECT_EQ(Sent(), "") << "not armed";
        DeviceSays("menu >");
        EXPECT_EQ(Sent(), c.Answer);
        DeviceSays("Password:");
        EXPECT_EQ(Sent(), c.AutoAnswer ? "qxvt" : "");
    }
    Session.Init();
    EXPECT_EQ(Sent(), "\r\n");
    EXPECT_FALSE(Session.Armed);
    DeviceSays("Send the file");
    EXPECT_TRUE(View.FlashEnabled);
    EXPECT_NE(View.Terminal.find("Send the file"), std::string::npos);
}

TEST_F(BootLoaderSession, TheAnswerLeavesBeforeThePromptIsShownWhichIsShownEvenIfItCannot)
{
    std::string writtenWhenShown;
    View.OnShowReceived = [&] { writtenWhenShown = Device.Written(); };
    Session.AutoAnswer = true;
    DeviceSays("Menu>");
    EXPECT_EQ(writtenWhenShown, "2");

    Device.HangUp();
    ASSERT_TRUE(MainThread.PumpUntil([&] { return Port.DeviceLost(); }));
    EXPECT_THROW(Session.Receive("again>"), EQorComPort);
    EXPECT_EQ(View.Terminal, "Menu>again>");
}

TEST_F(BootLoaderSession, WindowWaitsForTwelveCharactersAndErreurStopsTheFile)
{
    FlashTempDir dir;
    std::string file;
    for (int i = 0; i < 200; ++i)
        file += "S1" + std::to_string(1000 + i) + "\n";
    const std::string path = dir.Write("f.s19", file);

    int step = 0;
    Waiter.Script = [&] {
        if (Session.LineCount == 64 && step == 0) {
            step = 1;
            Device.Receive("\rok"); // 3 characters: the wait goes on
        } else if (step == 1 && !Session.ReplyReceived && Device.BytesWaiting() == 0) {
            step = 2;
            EXPECT_EQ(Session.LineCount, 64);
            Device.Receive("123456789");                    // 12 with the first chunk
        } else if (Session.LineCount == 128 && step == 2) { // the next window wait
            step = 3;
            Device.Receive("ERREUR 100");
        }
    };
    Session.Flash([&] { return std::optional<std::string>(path); });

    EXPECT_EQ(step, 3);
    EXPECT_EQ(View.Status, "Erreur Transfert ..... flash interrotto...");
    EXPECT_TRUE(Session.StopRequested);
    EXPECT_FALSE(Session.FlashInProgress);
    EXPECT_EQ(Session.LineCount, 128);
    // The CR-led and the refusing chunk leave the third line alone.
    EXPECT_EQ(View.LatestAnswers, std::vector<std::string>{"1234"});
    EXPECT_EQ(View.Terminal, "Send file\n\n");
}

} // namespace
