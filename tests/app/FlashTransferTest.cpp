// The whole transfer, driven through the window's handlers against a pseudo-terminal peer
// that records what arrives and answers as each test scripts it. The peer and a probe run
// only when the transfer processes events, that is inside its waits, so the scripts see
// the transfer exactly at those points.
#include "app/LongTimeText.h"
#include "app/TErrorReport.h"
#include "app/TForm1.h"
#include "tests/app/EventLoopWait.h"
#include "tests/app/FlashTempDir.h"
#include "tests/app/FlashTestSupport.h"
#include "tests/app/PtyPeer.h"
#include "widgets/TGauge.h"
#include "widgets/TTipTrackBar.h"
#include "widgets/TpelLed.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>

#include <map>
#include <set>

namespace {

std::vector<std::string> SplitAtCr(const std::string& bytes)
{
    std::vector<std::string> lines;
    std::string current;
    for (char c : bytes) {
        if (c == '\r') {
            lines.push_back(current);
            current.clear();
        } else {
            current.push_back(c);
        }
    }
    EXPECT_TRUE(current.empty()) << "bytes after the last CR: " << current;
    return lines;
}

std::vector<int> MemoEntries(const QString& memo)
{
    std::vector<int> entries;
    for (const QString& part : memo.split(QLatin1Char('/'), Qt::SkipEmptyParts))
        entries.push_back(part.toInt());
    return entries;
}

std::string NumberedLines(int count)
{
    std::string text;
    for (int i = 1; i <= count; ++i)
        text += "S1130000" + std::to_string(100000 + i) + "\r\n";
    return text;
}

class FlashTransfer : public ::testing::Test
{
protected:
    void SetUp() override
    {
        fPreviousSink = TErrorReport::SetSink([this](const QString& text) {
            fReports.push_back(text);
            if (fOnReport) fOnReport();
        });
        fForm = std::make_unique<TForm1>();
        fForm->ShowWarning = [this](const QString& text) { fWarnings.push_back(text); };
        fForm->ComPort.SetDevicePath(2, fPeer.DevicePath());
        fForm->Model.Button_OpenClick();
        ASSERT_TRUE(fForm->ComPort.Active());
        fPeer.SetOnReceive([this] { Turn(); });
    }

    // A posted call that posts itself again: every pass of event processing runs it once,
    // so the script sees each of the transfer's waits, however short the machine lets it be.
    void PostProbe()
    {
        QMetaObject::invokeMethod(
            &fProbeContext,
            [this] {
                if (!fProbing) return;
                Turn();
                PostProbe();
            },
            Qt::QueuedConnection);
    }

    void TearDown() override
    {
        fPeer.SetOnReceive(nullptr);
        fForm.reset();
        TErrorReport::SetSink(fPreviousSink);
    }

    void Turn()
    {
        if (fOnTurn) fOnTurn();
    }

    // Runs a transfer of the given file the way a click does, errors going to the report.
    void Flash(const std::string& path)
    {
        fProbing = true;
        PostProbe();
        const bool watchdogFired = FlashRunStoppedByWatchdog(*fForm, path);
        fProbing = false;
        fOnTurn = nullptr;
        EXPECT_FALSE(watchdogFired) << "transfer did not end by itself";
    }

    // Waits until the peer has every line the transfer counted as sent.
    std::vector<std::string> ArrivedLines()
    {
        EXPECT_TRUE(FlashWaitUntil([this] {
            return fPeer.LinesReceived() >= static_cast<std::size_t>(fForm->LineCount);
        }));
        return SplitAtCr(fPeer.Received());
    }

    QString TerminalLine(int index) const { return fForm->reTerminal->LineText(index); }

    void ExpectIdleAndDark() const
    {
        EXPECT_FALSE(fForm->FlashInProgress);
        EXPECT_FALSE(fForm->pelLed1->LedOn());
        EXPECT_FALSE(fForm->pelLed2->LedOn());
    }

    FlashTempDir fDir;
    TPtyPeer fPeer;
    std::unique_ptr<TForm1> fForm;
    QObject fProbeContext;
    bool fProbing = false;
    std::function<void()> fOnTurn;
    std::function<void()> fOnReport;
    std::vector<QString> fReports;
    std::vector<QString> fWarnings;
    TErrorReport::TSink fPreviousSink;
};

TEST_F(FlashTransfer, EachLineGoesOutWithOneCrWhateverItsLineEnd)
{
    for (const char* text : {"A\n\nB\n", "A\r\n\r\nB\r\n"}) {
        fPeer.SetOnReceive(nullptr);
        const std::size_t before = fPeer.Received().size();
        const auto path = fDir.Write("three lines.s19", text);
        const auto clickedAt = std::chrono::system_clock::now();
        Flash(path);
        EXPECT_GE(fForm->StartTime, clickedAt);
        EXPECT_LE(fForm->StartTime, std::chrono::system_clock::now());
        // The elapsed time in the locale's long time format, a few seconds at most.
        bool elapsedShown = false;
        for (int seconds = 0; seconds < 60 && !elapsedShown; ++seconds)
            elapsedShown = fForm->Panel2->text() ==
                           LongTimeText(QTime(0, 0).addSecs(seconds), QLocale::system());
        EXPECT_TRUE(elapsedShown) << fForm->Panel2->text().toStdString();
        EXPECT_TRUE(FlashWaitUntil([&] { return fPeer.Received().size() >= before + 5; }));
        EXPECT_EQ(fPeer.Received().substr(before), "A\r\rB\r");
        EXPECT_EQ(fForm->LineCount, 3);
        EXPECT_EQ(fForm->Panel3->text(), QStringLiteral("3"));
        EXPECT_EQ(fForm->Panel4->text(), QStringLiteral("three lines.s19"));
        EXPECT_EQ(fForm->Panel1->text(), QStringLiteral("Flash in corso ......"));
        // A file shorter than one block shows full once it has been read.
        EXPECT_EQ(fForm->ProgressBar1->Progress(), 100);
        EXPECT_EQ(fForm->reTerminal->LineCount(), 3);
        EXPECT_EQ(TerminalLine(0), QStringLiteral("Send file"));
        EXPECT_EQ(TerminalLine(1), QString());
        EXPECT_EQ(TerminalLine(2), QString());
        ExpectIdleAndDark();
        EXPECT_TRUE(fReports.empty());
    }
}

TEST_F(FlashTransfer, CtrlZEndsTheFileAndAnEmptyFileSendsNothing)
{
    Flash(fDir.Write("z.s19", "A\nB\n\x1a"
                              "C\nD\n"));
    EXPECT_EQ(ArrivedLines(), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(fForm->LineCount, 2);

    fForm->reTerminal->ReplaceText(QStringLiteral("old text"));
    fForm->Panel3->setText(QStringLiteral("untouched"));
    const std::size_t before = fPeer.Received().size();
    Flash(fDir.Write("empty.s19", ""));
    EXPECT_EQ(fForm->LineCount, 0);
    EXPECT_EQ(fForm->Panel1->text(), QStringLiteral("Flash in corso ......"));
    EXPECT_EQ(fForm->Panel4->text(), QStringLiteral("empty.s19"));
    EXPECT_EQ(fForm->Panel3->text(), QStringLiteral("untouched"));
    EXPECT_EQ(fForm->reTerminal->LineCount(), 3);
    EXPECT_EQ(TerminalLine(0), QStringLiteral("Send file"));
    ExpectIdleAndDark();
    // Give stray bytes a chance to show up: none may.
    fForm->ComPort.WriteString("!");
    ASSERT_TRUE(FlashWaitUntil([&] { return fPeer.Received().size() > before; }));
    EXPECT_EQ(fPeer.Received().substr(before), "!");
}

TEST_F(FlashTransfer, FirstSixtyFourLinesArePacedThenTheWindowWaitsForAnAnswer)
{
    // The peer answers once, 12 characters, in the first window wait; the lines after
    // it go out back to back until the next window is full.
    std::set<int> turnsAt;
    bool answered = false;
    fOnTurn = [&] {
        turnsAt.insert(fForm->LineCount);
        if (!answered && fForm->LineCount == 64 && fPeer.LinesReceived() == 64) {
            answered = true;
            fPeer.Send("123456789012");
        }
        if (fForm->LineCount == 128 && fPeer.LinesReceived() == 128) fForm->Model.Button2Click();
    };
    Flash(fDir.Write("paced.s19", NumberedLines(200)));

    std::set<int> expected;
    for (int i = 0; i <= 64; ++i)
        expected.insert(i);
    expected.insert(128);
    EXPECT_EQ(turnsAt, expected);
    EXPECT_EQ(fForm->LineCount, 128);
    const auto lines = ArrivedLines();
    ASSERT_EQ(lines.size(), 128u);
    EXPECT_EQ(lines[127], "S1130000100128");
    EXPECT_EQ(fForm->Panel1->text(), QStringLiteral("Flash interrotto...."));
    EXPECT_EQ(MemoEntries(fForm->Memo1->toPlainText()).front(), 64);
}

TEST_F(FlashTransfer, SilentDeviceHoldsTheSixtyFourthLinesGaugeUntilStop)
{
    // Lines of 130 bytes: the 64th line reaches into a new block, yet the gauge shows it
    // only once the window wait has ended.
    std::string text;
    for (int i = 0; i < 100; ++i)
        text += std::string(129, static_cast<char>('A' + i % 26)) + "\n";
    int gaugeInWait = -1;
    int turnsInWait = 0;
    bool sendLampLitInWait = false;
    fOnTurn = [&] {
        if (fForm->LineCount != 64 || fPeer.LinesReceived() != 64) return;
        gaugeInWait = fForm->ProgressBar1->Progress();
        sendLampLitInWait = fForm->pelLed1->LedOn() && !fForm->pelLed2->LedOn();
        // Many passes of the wait go by without an answer before the operator stops it.
        if (++turnsInWait == 200) fForm->Model.Button2Click();
    };
    Flash(fDir.Write("silent.s19", text));

    EXPECT_GE(turnsInWait, 200);
    EXPECT_TRUE(sendLampLitInWait); // the last line went out, nothing came back
    ExpectIdleAndDark();
    EXPECT_EQ(gaugeInWait, 63);                     // 64 of 101 blocks fetched after line 63
    EXPECT_EQ(fForm->ProgressBar1->Progress(), 64); // 65 blocks once line 64 was read
    EXPECT_EQ(fForm->LineCount, 64);
    EXPECT_EQ(ArrivedLines().size(), 64u);
    EXPECT_EQ(fForm->Panel1->text(), QStringLiteral("Flash interrotto...."));
}

TEST_F(FlashTransfer, DisconnectDuringTheWindowWaitWaitsForStop)
{
    int turnsAfterDisconnect = 0;
    fOnTurn = [&] {
        if (fForm->LineCount != 64 || fPeer.LinesReceived() != 64) return;
        if (fForm->ComPort.Active()) {
            fForm->Model.Button_OpenClick();
            return;
        }
        if (++turnsAfterDisconnect == 100) fForm->Model.Button2Click();
    };
    Flash(fDir.Write("unplugged in wait.s19", NumberedLines(100)));

    EXPECT_GE(turnsAfterDisconnect, 100);
    EXPECT_EQ(fForm->LineCount, 64);
    EXPECT_TRUE(fReports.empty()); // stopped at the top of a pass: nothing more was sent
    EXPECT_EQ(fForm->Panel1->text(), QStringLiteral("Flash interrotto...."));
}

TEST_F(FlashTransfer, WindowWaitEndsOnlyOnceTwelveCharactersArrived)
{
    int state = 0;
    int highestWhileShort = 0;
    bool replyWhileShort = false;
    fOnTurn = [&] {
        if (state == 0 && fForm->LineCount == 64 && fPeer.LinesReceived() == 64) {
            state = 1;
            fPeer.Send("ab");
        } else if (state == 1) {
            highestWhileShort = std::max(highestWhileShort, fForm->LineCount);
            if (fForm->Edit1->text() == QStringLiteral("ab")) {
                replyWhileShort = fForm->ReplyReceived;
                state = 2;
                fPeer.Send("0123456789");
            }
        } else if (state == 2 && fForm->LineCount == 128 && fPeer.LinesReceived() == 128) {
            state = 3;
            fForm->Model.Button2Click();
        }
    };
    Flash(fDir.Write("window.s19", NumberedLines(300)));

    EXPECT_EQ(state, 3);
    EXPECT_EQ(highestWhileShort, 64); // two characters did not end the wait
    EXPECT_FALSE(replyWhileShort);
    EXPECT_EQ(fForm->LineCount, 128); // twelve did
    for (int entry : MemoEntries(fForm->Memo1->toPlainText()))
        EXPECT_EQ(entry, 64);
}

TEST_F(FlashTransfer,
       DeviceAnsweringEveryLineMeetsTheFirstWindowWaitSixtyFourLinesAfterItsLastHandledAnswer)
{
    std::size_t answered = 0;
    fPeer.SetOnReceive([&] {
        std::string answers;
        for (; answered < fPeer.LinesReceived(); ++answered)
            answers += "ok\r";
        fPeer.Send(answers);
    });
    Flash(fDir.Write("chatty.s19", NumberedLines(300)));
    // Read before events run again: answers handled after the transfer has ended are
    // appended to the terminal as usual.
    const QString third = TerminalLine(2);

    EXPECT_EQ(fForm->LineCount, 300);
    EXPECT_EQ(ArrivedLines().size(), 300u);
    EXPECT_EQ(fForm->ProgressBar1->Progress(), 100);
    EXPECT_EQ(fForm->Panel1->text(), QStringLiteral("Flash in corso ......"));
    const auto memo = MemoEntries(fForm->Memo1->toPlainText());
    ASSERT_FALSE(memo.empty());
    // Answers are handled in the pauses before the first 64 lines; the next chunk is met
    // only in the window wait, 64 lines after the last handled one (line 127 when the
    // answer to line 63 was handled before line 64 went out).
    int lastPaced = 0;
    std::size_t i = 0;
    for (; i < memo.size() && memo[i] < 64; ++i)
        lastPaced = memo[i];
    ASSERT_LT(i, memo.size());
    EXPECT_EQ(memo[i], lastPaced + 64);
    EXPECT_GE(memo[i], 64);
    // The terminal's third line shows the first four characters of the latest chunk: one
    // answer, or the start of several.
    EXPECT_TRUE(third == QStringLiteral("ok\u240D") || third == QStringLiteral("ok\u240Do"))
        << third.toStdString();
}

TEST_F(FlashTransfer, ErreurStopsAfterTheCurrentPassAndKeepsTheThirdLine)
{
    fForm->Armed = true;
    int state = 0;
    fOnTurn = [&] {
        if (state == 0 && fPeer.LinesReceived() >= 3) {
            state = 1;
            fPeer.Send("OKAY1");
        } else if (state == 1 && fForm->Edit1->text() == QStringLiteral("OKAY1")) {
            state = 2;
            fPeer.Send("xxERREURxx");
        }
    };
    Flash(fDir.Write("erreur.s19", NumberedLines(200)));

    EXPECT_EQ(state, 2);
    EXPECT_EQ(fForm->Panel1->text(), QStringLiteral("Erreur Transfert ..... flash interrotto..."));
    EXPECT_EQ(TerminalLine(2), QStringLiteral("OKAY"));
    EXPECT_EQ(fForm->reTerminal->LineCount(), 3);
    const auto memo = MemoEntries(fForm->Memo1->toPlainText());
    ASSERT_FALSE(memo.empty());
    // The line of the pass in which the answer was handled still went out.
    EXPECT_EQ(fForm->LineCount, memo.back() + 1);
    EXPECT_LT(fForm->LineCount, 64);
    EXPECT_EQ(ArrivedLines().size(), static_cast<std::size_t>(fForm->LineCount));
    EXPECT_TRUE(fForm->StopRequested);
    EXPECT_TRUE(fForm->Armed); // an error from the device leaves the responder alone
    ExpectIdleAndDark();
}

TEST_F(FlashTransfer, GaugeFollowsTheBlocksFetchedOfAThousandByteFile)
{
    // 20 lines of 50 bytes: TotalBlocks 7.
    std::string text;
    for (int i = 0; i < 20; ++i)
        text += std::string(49, static_cast<char>('a' + i)) + "\n";
    ASSERT_EQ(text.size(), 1000u);
    std::map<int, int> gaugeAt;
    fOnTurn = [&] { gaugeAt[fForm->LineCount] = fForm->ProgressBar1->Progress(); };
    Flash(fDir.Write("k.s19", text));
    gaugeAt[fForm->LineCount] = fForm->ProgressBar1->Progress();

    ASSERT_EQ(gaugeAt.size(), 21u); // seen before every line and at the end
    EXPECT_EQ(gaugeAt[0], 0);
    EXPECT_EQ(gaugeAt[1], 14);   // 128 bytes fetched
    EXPECT_EQ(gaugeAt[15], 85);  // 768 bytes fetched
    EXPECT_EQ(gaugeAt[16], 100); // 896 bytes fetched
    EXPECT_EQ(gaugeAt[20], 100);
    for (int k = 1; k <= 20; ++k) {
        const int fetched = std::min(1000, (50 * k + 127) / 128 * 128);
        EXPECT_EQ(gaugeAt[k], fetched / 128 * 100 / 7) << "after line " << k;
    }
}

TEST_F(FlashTransfer, StopDuringThePauseStillSendsThatLine)
{
    fForm->Armed = true;
    int clickedAt = -1;
    fOnTurn = [&] {
        if (clickedAt < 0 && fPeer.LinesReceived() >= 5) {
            clickedAt = fForm->LineCount;
            fForm->Model.Button2Click();
        }
    };
    Flash(fDir.Write("stop.s19", NumberedLines(100)));

    ASSERT_GE(clickedAt, 5);
    EXPECT_EQ(fForm->LineCount, clickedAt + 1);
    EXPECT_EQ(ArrivedLines().size(), static_cast<std::size_t>(clickedAt + 1));
    EXPECT_EQ(fForm->Panel1->text(), QStringLiteral("Flash interrotto...."));
    EXPECT_FALSE(fForm->Armed);
    ExpectIdleAndDark();
}

TEST_F(FlashTransfer, DisconnectEndsTheTransferBeforePortNotOpenIsShown)
{
    int disconnectedAt = -1;
    fOnTurn = [&] {
        if (disconnectedAt < 0 && fPeer.LinesReceived() >= 5) {
            disconnectedAt = fForm->LineCount;
            fForm->Model.Button_OpenClick();
        }
    };
    bool inProgressAtReport = true;
    bool lampsAtReport = true;
    fOnReport = [&] {
        inProgressAtReport = fForm->FlashInProgress;
        lampsAtReport = fForm->pelLed1->LedOn() || fForm->pelLed2->LedOn();
    };
    Flash(fDir.Write("unplug.s19", NumberedLines(100)));

    ASSERT_EQ(fReports.size(), 1u);
    EXPECT_EQ(fReports[0], QStringLiteral("Port not open."));
    EXPECT_FALSE(inProgressAtReport);
    EXPECT_FALSE(lampsAtReport);
    EXPECT_EQ(fForm->LineCount, disconnectedAt);
    EXPECT_EQ(SplitAtCr(fPeer.Received()).size(), static_cast<std::size_t>(disconnectedAt));
    EXPECT_EQ(fForm->Panel1->text(), QStringLiteral("Flash in corso ......"));
}

TEST_F(FlashTransfer, FileErrorsEndTheTransferBeforeTheyAreShown)
{
    bool inProgressAtReport = true;
    fOnReport = [&] { inProgressAtReport = fForm->FlashInProgress; };
    Flash(fDir.Path("no such file.s19"));
    ASSERT_EQ(fReports.size(), 1u);
    EXPECT_EQ(fReports[0], QStringLiteral("File not found."));
    EXPECT_FALSE(inProgressAtReport);
    EXPECT_EQ(fForm->Panel1->text(), QStringLiteral("Flash in corso ......"));
    EXPECT_EQ(fForm->Panel4->text(), QStringLiteral("no such file.s19"));

    Flash(fDir.Path(""));
    ASSERT_EQ(fReports.size(), 2u);
    EXPECT_EQ(fReports[1], QStringLiteral("File access denied."));
    ExpectIdleAndDark();
    EXPECT_TRUE(fPeer.Received().empty());
}

TEST_F(FlashTransfer, BinaryGarbageArrivesByteForByte)
{
    std::string bytes;
    std::uint32_t seed = 99;
    for (int i = 0; i < 6000; ++i) {
        seed = seed * 1103515245u + 12345u;
        char c = static_cast<char>(seed >> 16);
        // Any byte but the control characters that make a file a raw binary (converted to
        // S-records instead) and Ctrl-Z, which ends the text.
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 && c != '\n' && c != '\r') c = static_cast<char>('@' + b);
        bytes.push_back(c);
    }
    Flash(fDir.Write("garbage.bin", bytes));
    // What the file reader makes of it, each line followed by CR.
    std::string expected;
    for (char c : bytes) {
        if (c == '\n')
            expected.push_back('\r');
        else if (c != '\r')
            expected.push_back(c);
    }
    if (!bytes.empty() && bytes.back() != '\n') expected.push_back('\r');
    ASSERT_TRUE(FlashWaitUntil([&] { return fPeer.Received().size() >= expected.size(); }));
    EXPECT_EQ(fPeer.Received(), expected);
    EXPECT_TRUE(fReports.empty());
}

TEST_F(FlashTransfer, SecondFlashClickDuringATransferStartsNothing)
{
    int choices = 0;
    bool clicked = false;
    fOnTurn = [&] {
        if (!clicked && fPeer.LinesReceived() >= 3) {
            clicked = true;
            fForm->ChooseFirmwareFile = [&choices] {
                ++choices;
                return std::optional<QString>(QStringLiteral("/dev/null"));
            };
            fForm->Model.Button1Click();
        }
    };
    Flash(fDir.Write("first.s19", NumberedLines(20)));
    ASSERT_TRUE(clicked);
    EXPECT_EQ(choices, 0);
    EXPECT_EQ(fForm->LineCount, 20);
    EXPECT_EQ(ArrivedLines(), SplitAtCr([] {
                  std::string s = NumberedLines(20);
                  std::string out;
                  for (char c : s)
                      if (c != '\n') out.push_back(c);
                  return out;
              }()));
}

TEST_F(FlashTransfer, ClosingIsRefusedWhileFlashingAndAllowedAfterStop)
{
    fForm->show();
    bool closedDuring = true;
    fOnTurn = [&] {
        if (fPeer.LinesReceived() >= 3 && fWarnings.empty()) {
            closedDuring = fForm->close();
            fForm->Model.Button2Click();
        }
    };
    Flash(fDir.Write("close.s19", NumberedLines(50)));
    EXPECT_FALSE(closedDuring);
    ASSERT_EQ(fWarnings.size(), 1u);
    EXPECT_EQ(fWarnings[0], QStringLiteral("Flash in corso, impossibile fermare. !!!"));
    EXPECT_TRUE(fForm->close());
    EXPECT_EQ(fWarnings.size(), 1u);
}

TEST_F(FlashTransfer, CancelledDialogLeavesTheWindowIdle)
{
    fForm->Memo1->setPlainText(QStringLiteral("1/2/"));
    fForm->Panel1->setText(QStringLiteral("before"));
    fForm->ChooseFirmwareFile = [] { return std::optional<QString>(); };
    fForm->Model.Button1Click();
    EXPECT_FALSE(fForm->FlashInProgress);
    EXPECT_TRUE(fForm->Memo1->toPlainText().isEmpty());
    EXPECT_EQ(fForm->Panel1->text(), QStringLiteral("before"));
    // The next click is a fresh transfer, not refused as a nested one.
    Flash(fDir.Write("after.s19", "A\n"));
    EXPECT_EQ(ArrivedLines(), std::vector<std::string>{"A"});
}

// The receive handler's transfer branch, called directly with chosen chunks.
class FlashReceiveBranch : public ::testing::Test
{
protected:
    void SetUp() override
    {
        fForm.reTerminal->ReplaceText(QStringLiteral("Send file\n\n"));
        fForm.FlashInProgress = true;
    }
    TForm1 fForm;
};

TEST_F(FlashReceiveBranch, ThirdLineShowsTheStartOfTheLatestPlainChunk)
{
    fForm.Session.ReceiveDuringTransfer("ABCDEFG");
    EXPECT_EQ(fForm.reTerminal->LineText(2), QStringLiteral("ABCD"));
    fForm.Session.ReceiveDuringTransfer("OK");
    EXPECT_EQ(fForm.reTerminal->LineText(2), QStringLiteral("OK"));
    fForm.Session.ReceiveDuringTransfer("\rS1");
    fForm.Session.ReceiveDuringTransfer("\bxx");
    fForm.Session.ReceiveDuringTransfer("..loads3..");
    fForm.Session.ReceiveDuringTransfer("ERREUR 5");
    EXPECT_EQ(fForm.reTerminal->LineText(2), QStringLiteral("OK"));
    EXPECT_EQ(fForm.reTerminal->LineCount(), 3);
    // Case matters: these are plain chunks.
    fForm.Session.ReceiveDuringTransfer("Loads3");
    EXPECT_EQ(fForm.reTerminal->LineText(2), QStringLiteral("Load"));
    EXPECT_EQ(fForm.reTerminal->LineText(0), QStringLiteral("Send file"));
}

TEST_F(FlashReceiveBranch, ClearedTerminalFillsUpToThreeLinesAgain)
{
    fForm.reTerminal->ClearText();
    for (const char* chunk : {"AAAA", "BBBB", "CCCC", "DDDD"})
        fForm.Session.ReceiveDuringTransfer(chunk);
    ASSERT_EQ(fForm.reTerminal->LineCount(), 3);
    EXPECT_EQ(fForm.reTerminal->LineText(0), QStringLiteral("AAAA"));
    EXPECT_EQ(fForm.reTerminal->LineText(1), QStringLiteral("BBBB"));
    EXPECT_EQ(fForm.reTerminal->LineText(2), QStringLiteral("DDDD"));
}

TEST_F(FlashReceiveBranch, AnswerCountsOnlyOnceLongerThanElevenCharacters)
{
    fForm.WindowCount = 40;
    fForm.LineCount = 64;
    fForm.Session.ReceiveDuringTransfer("ab");
    EXPECT_FALSE(fForm.ReplyReceived);
    EXPECT_EQ(fForm.WindowCount, 0);
    fForm.Session.ReceiveDuringTransfer("012345678");
    EXPECT_FALSE(fForm.ReplyReceived); // 11 characters
    fForm.LineCount = 65;
    fForm.Session.ReceiveDuringTransfer("9");
    EXPECT_TRUE(fForm.ReplyReceived);
    EXPECT_EQ(fForm.Edit1->text(), QStringLiteral("ab0123456789"));
    EXPECT_EQ(fForm.Memo1->toPlainText(), QStringLiteral("64/64/65/"));
    EXPECT_FALSE(fForm.pelLed1->LedOn());
    EXPECT_TRUE(fForm.pelLed2->LedOn());
}

TEST_F(FlashReceiveBranch, ErreurStopsWithoutTouchingTheResponder)
{
    fForm.Armed = true;
    fForm.Session.ReceiveDuringTransfer("\r\nERREUR checksum");
    EXPECT_TRUE(fForm.StopRequested);
    EXPECT_TRUE(fForm.Armed);
    EXPECT_EQ(fForm.Panel1->text(), QStringLiteral("Erreur Transfert ..... flash interrotto..."));
    fForm.StopRequested = false;
    fForm.Session.ReceiveDuringTransfer("erreur");
    EXPECT_FALSE(fForm.StopRequested);
}

} // namespace
