// The simulated device through the program's own serial component, in the plain mode the main
// window uses.
#include "serial/EQorComPort.h"
#include "serial/SerialConstants.h"
#include "serial/TQorComPort.h"
#include "sim/SRecordGenerator.h"
#include "sim/TSimulatedDevice.h"
#include "tests/serial/TestMainThread.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>

namespace {

class SimulatedDeviceOverSerial : public ::testing::Test
{
protected:
    void Connect(const TSimulatedDevice& device)
    {
        fPort.SetDevicePath(1, device.DevicePath());
        fPort.SetPort(1);
        fPort.SetBaudrate(115200);
        fPort.SetOnDataAvailable([this](TQorComPort& sender) { fReceived += sender.ReadString(); });
        fPort.SetOnError([this](TQorComPort&, uint32_t error) { fErrors |= error; });
        fPort.SetActive(true);
        ASSERT_TRUE(fPort.Active());
    }

    bool ReceiveUntil(std::string_view needle)
    {
        return fMainThread.PumpUntil([&] { return fReceived.find(needle) != std::string::npos; });
    }

    // Walks the menu into the boot loader: Enter, choice "2", then the password.
    testing::AssertionResult EnterBootLoader()
    {
        const std::pair<std::string_view, std::string_view> steps[] = {
            {"\r\n", ">"}, {"2", ":"}, {"qxvt", "Send"}};
        for (const auto& [say, until] : steps) {
            fPort.WriteString(say);
            if (!ReceiveUntil(until))
                return testing::AssertionFailure() << "no \"" << until << "\" in: " << fReceived;
        }
        return testing::AssertionSuccess();
    }

    TTestMainThread fMainThread;
    TQorComPort fPort{fMainThread};
    std::string fReceived;
    uint32_t fErrors = 0;
};

} // namespace

TEST_F(SimulatedDeviceOverSerial, InitLineEndBringsTheMenuPrompt)
{
    TSimulatedDevice device;
    Connect(device);
    fPort.WriteString("\r\n");
    ASSERT_TRUE(ReceiveUntil(">")) << fReceived;
    EXPECT_NE(fReceived.find("boot loader"), std::string::npos);
    EXPECT_EQ(fReceived.back(), '>');
    fPort.SetActive(false);
}

// The whole dialogue the window drives: automatic answers, then the file line by line.
TEST_F(SimulatedDeviceOverSerial, AnsweredPromptsThenAFileLoadTheImage)
{
    const auto data = GenerateFirmwareBytes(4096, 8);
    TSimulatedDevice device;
    Connect(device);
    ASSERT_TRUE(EnterBootLoader());

    TSRecordFileOptions options;
    options.LineEnd = TLineEnd::Lf;
    const std::string file = GenerateSRecordFile(data, 0x08000000, options);
    for (std::size_t start = 0, end; (end = file.find('\n', start)) != std::string::npos;
         start = end + 1)
        fPort.WriteString(file.substr(start, end - start) + "\r");
    ASSERT_TRUE(ReceiveUntil("Load complete")) << fReceived.substr(fReceived.size() - 200);
    EXPECT_EQ(fReceived.find("ERREUR"), std::string::npos);
    ASSERT_TRUE(ReceiveUntil("Choice >"));
    TLoadedImage expected;
    for (std::size_t i = 0; i < data.size(); ++i)
        expected[static_cast<uint32_t>(0x08000000 + i)] = data[i];
    EXPECT_EQ(device.LoadedImage(), expected);
    fPort.SetActive(false);
}

TEST_F(SimulatedDeviceOverSerial, HangUpIsReportedAsALostDevice)
{
    TSimulatedDeviceOptions options;
    options.HangUpAtRecord = 1;
    TSimulatedDevice device(options);
    Connect(device);
    ASSERT_TRUE(EnterBootLoader());
    fPort.WriteString("S0030000FC\r");
    ASSERT_TRUE(fMainThread.PumpUntil([this] { return (fErrors & CE_DEVICE_LOST) != 0; }));
    EXPECT_TRUE(device.HungUp());
    fPort.SetActive(false);
}
