// Transfers to the simulated boot loader: the whole dialogue through the window, then the
// firmware file, checked against what the device loaded.
#include "app/TErrorReport.h"
#include "app/TForm1.h"
#include "sim/SRecordGenerator.h"
#include "sim/TSimulatedDevice.h"
#include "tests/app/FlashTempDir.h"
#include "tests/app/FlashTestSupport.h"
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
    void Start(TSimulatedDeviceOptions options)
    {
        Device = std::make_unique<TSimulatedDevice>(std::move(options));
        PreviousSink = TErrorReport::SetSink([this](const QString& text) {
            Reports.push_back(text);
            if (OnReport) OnReport();
        });
        Form = std::make_unique<TForm1>();
        Form->ShowWarning = [](const QString&) {};
        Form->ComPort.SetDevicePath(2, Device->DevicePath());
        Form->Button_OpenClick(Form->Button_Open);
        ASSERT_TRUE(Form->ComPort.Active());
        // Init wakes the boot loader; the window answers its menu and password prompts.
        Form->Button4Click(Form->Button4);
        ASSERT_TRUE(FlashWaitUntil(
            [this] { return Form->reTerminal->toPlainText().contains(QStringLiteral("Ready.")); }));
        ASSERT_TRUE(Form->Button1->isEnabled());
    }

    void TearDown() override
    {
        Form.reset();
        Device.reset();
        TErrorReport::SetSink(PreviousSink);
    }

    void Flash(const std::string& path)
    {
        const bool watchdogFired = FlashRunStoppedByWatchdog(*Form, path);
        EXPECT_FALSE(watchdogFired) << "transfer did not end by itself";
    }

    FlashTempDir Dir;
    std::unique_ptr<TSimulatedDevice> Device;
    std::unique_ptr<TForm1> Form;
    std::vector<QString> Reports;
    std::function<void()> OnReport;
    TErrorReport::TSink PreviousSink;
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
    Flash(Dir.Write("firmware.s19", text));

    EXPECT_TRUE(Reports.empty());
    ASSERT_TRUE(FlashWaitUntil([this] { return Device->CompletedLoads() == 1; }, 60000));
    const TLoadedImage image = Device->LoadedImage();
    ASSERT_EQ(image.size(), data.size());
    std::size_t mismatches = 0;
    for (std::size_t i = 0; i < data.size(); ++i) {
        const auto it = image.find(BaseAddress + static_cast<uint32_t>(i));
        mismatches += it == image.end() || it->second != data[i];
    }
    EXPECT_EQ(mismatches, 0u);
    EXPECT_EQ(Form->LineCount, static_cast<int32_t>(std::count(text.begin(), text.end(), '\n')));
    EXPECT_EQ(Form->ProgressBar1->Progress(), 100);
    EXPECT_EQ(Form->Panel1->text(), QStringLiteral("Flash in corso ......"));
    EXPECT_FALSE(Form->FlashInProgress);
}

TEST_F(FlashToSimulatedDevice, RefusedRecordStopsTheTransfer)
{
    TSimulatedDeviceOptions options;
    options.Baudrate = 0;
    options.ErreurAtRecord = 20;
    Start(options);
    const std::vector<uint8_t> data = GenerateFirmwareBytes(16 * 1024, 4);
    Flash(Dir.Write("refused.s19", GenerateSRecordFile(data, BaseAddress)));

    EXPECT_EQ(Form->Panel1->text(), QStringLiteral("Erreur Transfert ..... flash interrotto..."));
    EXPECT_TRUE(Form->StopRequested);
    EXPECT_GE(Form->LineCount, 20);
    EXPECT_LT(Form->LineCount, 512); // far from the whole file
    EXPECT_EQ(Device->CompletedLoads(), 0u);
    EXPECT_TRUE(Reports.empty());
}

TEST_F(FlashToSimulatedDevice, RefusalLetsNoMoreThanTheTransmitBufferFollow)
{
    TSimulatedDeviceOptions options; // at the line's real pace
    options.ErreurAtRecord = 1000;
    Start(options);
    const std::vector<uint8_t> data = GenerateFirmwareBytes(384 * 1024, 6);
    Flash(Dir.Write("refused.s19", GenerateSRecordFile(data, BaseAddress)));
    EXPECT_EQ(Form->Panel1->text(), QStringLiteral("Erreur Transfert ..... flash interrotto..."));

    // What was on its way still drains out of the pseudo-terminal into the device.
    std::size_t after = Device->BytesAfterRefusal();
    for (;;) {
        QDeadlineTimer settle(500);
        FlashWaitUntil([&] { return settle.hasExpired(); });
        if (Device->BytesAfterRefusal() == after) break;
        after = Device->BytesAfterRefusal();
    }
    EXPECT_LE(after, Form->ComPort.TxBuffer() + PtyCapacityBytes());
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
    OnReport = [this, &inProgressAtLastReport] { inProgressAtLastReport = Form->FlashInProgress; };
    const std::vector<uint8_t> data = GenerateFirmwareBytes(64 * 1024, 5);
    const std::string text = GenerateSRecordFile(data, BaseAddress);
    Flash(Dir.Write("pulled.s19", text));
    // A loss found by a failing write is reported once the transfer has returned.
    FlashWaitUntil([this] { return !Reports.empty(); }, 5000);

    // The lost-device report alone: no "Port not open" for lines into a port that is gone.
    ASSERT_EQ(Reports.size(), 1u);
    EXPECT_TRUE(Reports[0].contains(QStringLiteral("scollegato"))) << Reports[0].toStdString();
    EXPECT_FALSE(inProgressAtLastReport);
    EXPECT_FALSE(Form->ComPort.Active());
    EXPECT_FALSE(Form->FlashInProgress);
    EXPECT_FALSE(Form->TransferRunning);
    EXPECT_EQ(Form->Panel1->text(), QStringLiteral("Flash interrotto: dispositivo scollegato"));
    EXPECT_FALSE(Form->pelLed1->LedOn());
    // Counted lines were written before the loss: at most what the line can hold beyond it.
    EXPECT_GE(Form->LineCount, GetParam());
    const std::size_t lineBytes = text.find('\n') + 1;
    const std::size_t held = Form->ComPort.TxBuffer() + PtyCapacityBytes();
    EXPECT_LE(static_cast<std::size_t>(Form->LineCount), GetParam() + 2 * held / lineBytes);
}

INSTANTIATE_TEST_SUITE_P(PacedAndAfter, FlashToPulledDevice, ::testing::Values(3, 300));

} // namespace
