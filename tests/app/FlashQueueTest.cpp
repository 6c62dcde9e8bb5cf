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
        PreviousSink = TErrorReport::SetSink([this](const QString& text) { Reports << text; });
        Port.HoldOutput(true);
        Form.ComPort.SetDevicePath(2, "/dev/fake-slow");
        Form.Button_OpenClick(Form.Button_Open);
        ASSERT_TRUE(Form.ComPort.Active());
    }
    void TearDown() override { TErrorReport::SetSink(PreviousSink); }

    // Lines of `length` characters; fewer than 64, so the device need not answer.
    std::string File(int lines, std::size_t length)
    {
        std::string text;
        for (int i = 0; i < lines; ++i)
            text += std::string(length - 1, static_cast<char>('A' + i % 26)) + "\n";
        return Dir.Write("slow.txt", text);
    }

    // Runs `step` on every pass of event processing while the transfer runs.
    void DuringTransfer(std::function<void()> step)
    {
        QObject::connect(&Probe, &QTimer::timeout, step);
        Probe.start(0);
    }

    TFakeSerialBackend Backend;
    TFakePort& Port = Backend.AddPort("/dev/fake-slow");
    TForm1 Form{nullptr, &Backend};
    FlashTempDir Dir;
    QTimer Probe;
    QStringList Reports;
    TErrorReport::TSink PreviousSink;
};

TEST_F(FlashOverSlowLine, StopDropsWhatIsQueuedAndTheFileNeverRunsFarAhead)
{
    const std::size_t limit = Form.ComPort.TxBuffer();
    std::size_t mostQueued = 0;
    int stoppedAt = 0;
    int lastCount = -1;
    QElapsedTimer sinceLastLine;
    DuringTransfer([&] {
        mostQueued = std::max(mostQueued, Port.DriverQueued());
        if (Form.LineCount != lastCount) {
            lastCount = Form.LineCount;
            sinceLastLine.start();
        }
        // The line carries nothing: the transfer waits for room, still handling events.
        if (sinceLastLine.elapsed() > 200 && stoppedAt == 0) {
            stoppedAt = Form.LineCount;
            Form.Button2Click(Form.Button2);
        }
    });
    EXPECT_FALSE(FlashRunStoppedByWatchdog(Form, File(60, 400)));

    EXPECT_GT(stoppedAt, 0);
    EXPECT_LE(mostQueued, limit);
    EXPECT_GE(mostQueued, limit - 400); // it did fill the buffer, so the test saw the bound
    // Nothing that was queued at the stop reaches the line afterwards; only the line of the
    // pass under way still follows.
    EXPECT_EQ(Form.LineCount, stoppedAt + 1);
    EXPECT_EQ(Port.DriverQueued(), 400u);
    EXPECT_TRUE(Port.Written().empty());
    EXPECT_LT(stoppedAt, 60);
    EXPECT_TRUE(Reports.isEmpty()) << Reports.join('|').toStdString();
}

TEST_F(FlashOverSlowLine, TransferEndsOnlyOnceTheLineHasCarriedTheLastLine)
{
    bool endedWhileQueued = false;
    bool released = false;
    int passesAtEnd = 0;
    DuringTransfer([&] {
        if (!Form.FlashInProgress && Port.DriverQueued() > 0) endedWhileQueued = true;
        if (Form.LineCount < 20) return;
        // All lines are written; the line still holds them for a while.
        if (++passesAtEnd < 50) return;
        EXPECT_TRUE(Form.FlashInProgress);
        Port.ReleaseOutput(Port.DriverQueued());
        released = true;
    });
    EXPECT_FALSE(FlashRunStoppedByWatchdog(Form, File(20, 40)));

    EXPECT_TRUE(released);
    EXPECT_FALSE(endedWhileQueued);
    EXPECT_FALSE(Form.FlashInProgress);
    EXPECT_EQ(Port.Written().size(), 20u * 40u);
    EXPECT_EQ(Form.Panel1->text(), QStringLiteral("Flash in corso ......"));
}

TEST_F(FlashOverSlowLine, ClosingRightAfterStopKeepsThePortUntilTheTransferHasEnded)
{
    Port.HoldOutput(false);
    Form.show();
    bool activeAfterClose = false;
    DuringTransfer([&] {
        if (Form.LineCount != 10 || !Form.FlashInProgress) return;
        // Both clicks land inside one of the transfer's waits.
        Form.Button2Click(Form.Button2);
        Form.close();
        activeAfterClose = Form.ComPort.Active();
    });
    EXPECT_FALSE(FlashRunStoppedByWatchdog(Form, File(40, 20)));

    EXPECT_TRUE(activeAfterClose);
    EXPECT_FALSE(Form.isVisible());
    EXPECT_FALSE(Form.ComPort.Active());
    EXPECT_FALSE(Port.IsOpen());
    EXPECT_TRUE(Reports.isEmpty()) << Reports.join('|').toStdString();
}

} // namespace
