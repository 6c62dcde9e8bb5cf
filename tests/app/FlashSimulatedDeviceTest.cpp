// Transfers to the simulated boot loader: the whole dialogue through the window, then the
// firmware file, checked against what the device loaded.
#include "app/TErrorReport.h"
#include "app/TForm1.h"
#include "sim/SRecordGenerator.h"
#include "sim/TSimulatedDevice.h"
#include "tests/app/FlashTempDir.h"
#include "tests/app/FlashTestSupport.h"
#include "tests/support/TPseudoTerminal.h"
#include "tests/support/TSer2net.h"
#include "widgets/TGauge.h"
#include "widgets/TTipTrackBar.h"
#include "widgets/TpelLed.h"

#include <QDeadlineTimer>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

constexpr uint32_t BaseAddress = 0x00400000;

class FlashToSimulatedDevice : public ::testing::Test
{
protected:
    // throughSer2net: the device's port is opened across the network, served by ser2net.
    void Start(TSimulatedDeviceOptions options, bool throughSer2net = false)
    {
        fDevice = std::make_unique<TSimulatedDevice>(std::move(options));
        if (throughSer2net) fServer = std::make_unique<TSer2net>(fDevice->DevicePath());
        fPreviousSink = TErrorReport::SetSink([this](const QString& text) {
            fReports.push_back(text);
            if (fOnReport) fOnReport();
        });
        fForm = std::make_unique<TForm1>();
        fForm->ShowWarning = [](const QString&) {};
        fForm->ComPort.SetDevicePath(2, fServer ? fServer->Rfc2217Url() : fDevice->DevicePath());
        fForm->Model.Button_OpenClick();
        ASSERT_TRUE(fForm->ComPort.Active());
        // Init wakes the boot loader; the window answers its menu and password prompts.
        fForm->Model.Button4Click();
        ASSERT_TRUE(FlashWaitUntil(
            [this] { return fForm->reTerminal->Text().contains(QStringLiteral("Ready.")); }));
        ASSERT_TRUE(fForm->Button1->isEnabled());
    }

    void TearDown() override
    {
        fForm.reset();
        fServer.reset();
        fDevice.reset();
        TErrorReport::SetSink(fPreviousSink);
    }

    void Flash(const std::string& path)
    {
        const bool watchdogFired = FlashRunStoppedByWatchdog(*fForm, path);
        EXPECT_FALSE(watchdogFired) << "transfer did not end by itself";
    }

    // What count() says once what was on its way has drained out of the pseudo-terminal into
    // the device.
    std::size_t OnceQuiet(const std::function<std::size_t()>& count)
    {
        std::size_t now = count();
        for (std::size_t before = now + 1; now != before || fDevice->UnreadBytes() != 0;) {
            before = now;
            QDeadlineTimer settle(300);
            FlashWaitUntil([&] { return settle.hasExpired(); });
            now = count();
        }
        return now;
    }

    FlashTempDir fDir;
    std::unique_ptr<TSimulatedDevice> fDevice;
    std::unique_ptr<TSer2net> fServer;
    std::unique_ptr<TForm1> fForm;
    std::vector<QString> fReports;
    std::function<void()> fOnReport;
    TErrorReport::TSink fPreviousSink;
};

TEST_F(FlashToSimulatedDevice, OneMebibyteImageIsLoadedExactly)
{
    TSimulatedDeviceOptions options;
    options.Baudrate = 0;
    Start(options);
    const std::vector<uint8_t> data = GenerateFirmwareBytes(1024 * 1024, 3);
    TSRecordFileOptions fileOptions;
    fileOptions.LineEnd = TLineEnd::Lf;
    const std::string text = GenerateSRecordFile(data, BaseAddress, fileOptions);
    Flash(fDir.Write("firmware.s19", text));

    EXPECT_TRUE(fReports.empty());
    ASSERT_TRUE(FlashWaitUntil([this] { return fDevice->CompletedLoads() == 1; }, 60000));
    const TLoadedImage image = fDevice->LoadedImage();
    ASSERT_EQ(image.size(), data.size());
    std::size_t mismatches = 0;
    for (std::size_t i = 0; i < data.size(); ++i) {
        const auto it = image.find(BaseAddress + static_cast<uint32_t>(i));
        mismatches += it == image.end() || it->second != data[i];
    }
    EXPECT_EQ(mismatches, 0u);
    EXPECT_EQ(fForm->LineCount, static_cast<int32_t>(std::count(text.begin(), text.end(), '\n')));
    EXPECT_EQ(fForm->ProgressBar1->Progress(), 100);
    EXPECT_EQ(fForm->Panel1->text(), QStringLiteral("Flash in corso ......"));
    EXPECT_FALSE(fForm->FlashInProgress);
}

TEST_F(FlashToSimulatedDevice, ThroughSer2netTheImageIsLoadedExactly)
{
    if (!TSer2net::Available()) GTEST_SKIP() << "ser2net is not installed";
    Start({}, true); // at the line's pace
    const std::vector<uint8_t> data = GenerateFirmwareBytes(16 * 1024, 16);
    Flash(fDir.Write("firmware.s19", GenerateSRecordFile(data, BaseAddress)));
    EXPECT_TRUE(fReports.empty());
    ASSERT_TRUE(FlashWaitUntil([this] { return fDevice->CompletedLoads() == 1; }, 60000));
    const TLoadedImage image = fDevice->LoadedImage();
    ASSERT_EQ(image.size(), data.size());
    for (std::size_t i = 0; i < data.size(); ++i)
        ASSERT_EQ(image.at(BaseAddress + static_cast<uint32_t>(i)), data[i]) << i;
}

TEST_F(FlashToSimulatedDevice, RefusedRecordStopsTheTransfer)
{
    TSimulatedDeviceOptions options;
    options.Baudrate = 0;
    options.ErreurAtRecord = 20;
    Start(options);
    const std::vector<uint8_t> data = GenerateFirmwareBytes(16 * 1024, 4);
    Flash(fDir.Write("refused.s19", GenerateSRecordFile(data, BaseAddress)));

    EXPECT_EQ(fForm->Panel1->text(), QStringLiteral("Erreur Transfert ..... flash interrotto..."));
    EXPECT_TRUE(fForm->StopRequested);
    EXPECT_GE(fForm->LineCount, 20);
    EXPECT_LT(fForm->LineCount, 512); // far from the whole file
    EXPECT_EQ(fDevice->CompletedLoads(), 0u);
    EXPECT_TRUE(fReports.empty());
}

TEST_F(FlashToSimulatedDevice, RefusalLetsNoMoreThanTheTransmitBufferFollow)
{
    TSimulatedDeviceOptions options; // at the line's real pace
    options.ErreurAtRecord = 1000;
    Start(options);
    const std::vector<uint8_t> data = GenerateFirmwareBytes(384 * 1024, 6);
    Flash(fDir.Write("refused.s19", GenerateSRecordFile(data, BaseAddress)));
    EXPECT_EQ(fForm->Panel1->text(), QStringLiteral("Erreur Transfert ..... flash interrotto..."));

    const std::size_t after = OnceQuiet([this] { return fDevice->BytesAfterRefusal(); });
    EXPECT_LE(after, fForm->ComPort.TxBuffer() + TPseudoTerminal::CapacityBytes());
}

TEST_F(FlashToSimulatedDevice, ARestartedDeviceInterruptsTheTransferAndGetsNoMoreOfTheFile)
{
    TSimulatedDeviceOptions options; // at the line's real pace
    options.RestartAtRecord = 80;
    Start(options);
    // Larger than what the transmit buffer and the pseudo-terminal hold together.
    const std::vector<uint8_t> data = GenerateFirmwareBytes(24 * 1024, 8);
    Flash(fDir.Write("restart.s19", GenerateSRecordFile(data, BaseAddress)));

    EXPECT_EQ(fForm->Panel1->text(),
              QStringLiteral("Flash interrotto: il dispositivo si è riavviato"));
    EXPECT_FALSE(fForm->FlashInProgress);
    EXPECT_TRUE(fReports.empty());
    // Disconnected, so that the answers to the menu that came back do not count as file bytes.
    fForm->Model.Button_OpenClick();
    const std::size_t after = OnceQuiet([this] { return fDevice->BytesAfterRestart(); });
    EXPECT_LE(after, fForm->ComPort.TxBuffer() + TPseudoTerminal::CapacityBytes());
    EXPECT_EQ(fDevice->CompletedLoads(), 0u);
}

// A pulled adapter ends the transfer at once, while the lines are paced and after.
class FlashToPulledDevice : public FlashToSimulatedDevice, public ::testing::WithParamInterface<int>
{
};

TEST_P(FlashToPulledDevice, EndsTheTransferAndSaysWhy)
{
    TSimulatedDeviceOptions options;
    options.Baudrate = 0;
    options.HangUpAtRecord = GetParam();
    Start(options);
    bool inProgressAtLastReport = true;
    fOnReport = [this, &inProgressAtLastReport] {
        inProgressAtLastReport = fForm->FlashInProgress;
    };
    const std::vector<uint8_t> data = GenerateFirmwareBytes(64 * 1024, 5);
    const std::string text = GenerateSRecordFile(data, BaseAddress);
    Flash(fDir.Write("pulled.s19", text));
    // A loss found by a failing write is reported once the transfer has returned.
    FlashWaitUntil([this] { return !fReports.empty(); }, 5000);

    // The lost-device report alone: no "Port not open" for lines into a port that is gone.
    ASSERT_EQ(fReports.size(), 1u);
    EXPECT_TRUE(fReports[0].contains(QStringLiteral("scollegato"))) << fReports[0].toStdString();
    EXPECT_FALSE(inProgressAtLastReport);
    EXPECT_FALSE(fForm->ComPort.Active());
    EXPECT_FALSE(fForm->FlashInProgress);
    EXPECT_FALSE(fForm->TransferRunning);
    EXPECT_EQ(fForm->Panel1->text(), QStringLiteral("Flash interrotto: dispositivo scollegato"));
    EXPECT_FALSE(fForm->pelLed1->LedOn());
    // Counted lines were written before the loss: at most what the line can hold beyond it.
    EXPECT_GE(fForm->LineCount, GetParam());
    const std::size_t lineBytes = text.find('\n') + 1;
    const std::size_t held = fForm->ComPort.TxBuffer() + TPseudoTerminal::CapacityBytes();
    EXPECT_LE(static_cast<std::size_t>(fForm->LineCount), GetParam() + 2 * held / lineBytes);
}

INSTANTIATE_TEST_SUITE_P(PacedAndAfter, FlashToPulledDevice, ::testing::Values(3, 300));

} // namespace
