// The transfer against a port whose driver passes bytes on only when the test lets it: the file
// may run only a transmit buffer ahead of the wire, a stop drops what is still queued, and a
// transfer that read the whole file lasts until the line has carried it.
#include "app/TForm1.h"
#include "serial/SerialConstants.h"
#include "tests/app/FlashTempDir.h"
#include "tests/app/FlashTestSupport.h"
#include "tests/serial/FakeSerialBackend.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

class FlashOverSlowLine : public ::testing::Test
{
protected:
    void SetUp() override
    {
        fPreviousSink = TErrorReport::SetSink([this](const QString& text) { fReports << text; });
        fPort.HoldOutput(true);
        fForm.ComPort.SetDevicePath(2, "/dev/fake-slow");
        fForm.Model.Button_OpenClick();
        ASSERT_TRUE(fForm.ComPort.Active());
    }
    void TearDown() override { TErrorReport::SetSink(fPreviousSink); }

    // Lines of `length` characters; fewer than 64, so the device need not answer.
    std::string File(int lines, std::size_t length)
    {
        std::string text;
        for (int i = 0; i < lines; ++i)
            text += std::string(length - 1, static_cast<char>('A' + i % 26)) + "\n";
        return fDir.Write("slow.txt", text);
    }

    // Runs `step` on every pass of event processing while the transfer runs.
    void DuringTransfer(std::function<void()> step)
    {
        QObject::connect(&fProbe, &QTimer::timeout, step);
        fProbe.start(0);
    }

    TFakeSerialBackend fBackend;
    TFakePort& fPort = fBackend.AddPort("/dev/fake-slow");
    TForm1 fForm{nullptr, &fBackend};
    FlashTempDir fDir;
    QTimer fProbe;
    QStringList fReports;
    TErrorReport::TSink fPreviousSink;
};

TEST_F(FlashOverSlowLine, StopDropsWhatIsQueuedAndTheFileNeverRunsFarAhead)
{
    const std::size_t limit = fForm.ComPort.TxBuffer();
    std::size_t mostQueued = 0;
    int stoppedAt = 0;
    int lastCount = -1;
    QElapsedTimer sinceLastLine;
    DuringTransfer([&] {
        mostQueued = std::max(mostQueued, fPort.DriverQueued());
        if (fForm.LineCount != lastCount) {
            lastCount = fForm.LineCount;
            sinceLastLine.start();
        }
        // The line carries nothing: the transfer waits for room, still handling events.
        if (sinceLastLine.elapsed() > 200 && stoppedAt == 0) {
            stoppedAt = fForm.LineCount;
            fForm.Model.Button2Click();
        }
    });
    EXPECT_FALSE(FlashRunStoppedByWatchdog(fForm, File(60, 400)));

    EXPECT_GT(stoppedAt, 0);
    EXPECT_LE(mostQueued, limit);
    EXPECT_GE(mostQueued, limit - 400); // it did fill the buffer, so the test saw the bound
    // Nothing that was queued at the stop reaches the line afterwards; only the line of the
    // pass under way still follows.
    EXPECT_EQ(fForm.LineCount, stoppedAt + 1);
    EXPECT_EQ(fPort.DriverQueued(), 400u);
    EXPECT_TRUE(fPort.Written().empty());
    EXPECT_LT(stoppedAt, 60);
    EXPECT_TRUE(fReports.isEmpty()) << fReports.join('|').toStdString();
}

TEST_F(FlashOverSlowLine, TransferEndsOnlyOnceTheLineHasCarriedTheLastLine)
{
    bool endedWhileQueued = false;
    bool released = false;
    int passesAtEnd = 0;
    DuringTransfer([&] {
        if (!fForm.FlashInProgress && fPort.DriverQueued() > 0) endedWhileQueued = true;
        if (fForm.LineCount < 19) return;
        // The last line waits until the line has carried the others, which it holds a while.
        if (++passesAtEnd < 50) return;
        EXPECT_TRUE(fForm.FlashInProgress);
        fPort.ReleaseOutput(fPort.DriverQueued());
        released = true;
    });
    EXPECT_FALSE(FlashRunStoppedByWatchdog(fForm, File(20, 40)));

    EXPECT_TRUE(released);
    EXPECT_FALSE(endedWhileQueued);
    EXPECT_FALSE(fForm.FlashInProgress);
    EXPECT_EQ(fPort.Written().size(), 20u * 40u);
    EXPECT_EQ(fForm.Panel1->text(), QStringLiteral("Flash in corso ......"));
}

TEST_F(FlashOverSlowLine, ClosingRightAfterStopKeepsThePortUntilTheTransferHasEnded)
{
    fPort.HoldOutput(false);
    fForm.show();
    bool activeAfterClose = false;
    DuringTransfer([&] {
        if (fForm.LineCount != 10 || !fForm.FlashInProgress) return;
        // Both clicks land inside one of the transfer's waits.
        fForm.Model.Button2Click();
        fForm.close();
        activeAfterClose = fForm.ComPort.Active();
    });
    EXPECT_FALSE(FlashRunStoppedByWatchdog(fForm, File(40, 20)));

    EXPECT_TRUE(activeAfterClose);
    EXPECT_FALSE(fForm.isVisible());
    EXPECT_FALSE(fForm.ComPort.Active());
    EXPECT_FALSE(fPort.IsOpen());
    EXPECT_TRUE(fReports.isEmpty()) << fReports.join('|').toStdString();
}

} // namespace
