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
        Port.SetDevicePath(1, device.DevicePath());
        Port.SetPort(1);
        Port.SetBaudrate(115200);
        Port.SetOnDataAvailable([this](TQorComPort& sender) { Received += sender.ReadString(); });
        Port.SetOnError([this](TQorComPort&, uint32_t error) { Errors |= error; });
        Port.SetActive(true);
        ASSERT_TRUE(Port.Active());
    }

    bool ReceiveUntil(std::string_view needle)
    {
        return MainThread.PumpUntil([&] { return Received.find(needle) != std::string::npos; });
    }

    // Walks the menu into the boot loader: Enter, choice "2", then the password.
    testing::AssertionResult EnterBootLoader()
    {
        const std::pair<std::string_view, std::string_view> steps[] = {
            {"\r\n", ">"}, {"2", ":"}, {"qxvt", "Send"}};
        for (const auto& [say, until] : steps) {
            Port.WriteString(say);
            if (!ReceiveUntil(until))
                return testing::AssertionFailure() << "no \"" << until << "\" in: " << Received;
        }
        return testing::AssertionSuccess();
    }

    TTestMainThread MainThread;
    TQorComPort Port{MainThread};
    std::string Received;
    uint32_t Errors = 0;
};

} // namespace

TEST_F(SimulatedDeviceOverSerial, InitLineEndBringsTheMenuPrompt)
{
    TSimulatedDevice device;
    Connect(device);
    Port.WriteString("\r\n");
    ASSERT_TRUE(ReceiveUntil(">")) << Received;
    EXPECT_NE(Received.find("boot loader"), std::string::npos);
    EXPECT_EQ(Received.back(), '>');
    Port.SetActive(false);
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
        Port.WriteString(file.substr(start, end - start) + "\r");
    ASSERT_TRUE(ReceiveUntil("Load complete")) << Received.substr(Received.size() - 200);
    EXPECT_EQ(Received.find("ERREUR"), std::string::npos);
    ASSERT_TRUE(ReceiveUntil("Choice >"));
    TLoadedImage expected;
    for (std::size_t i = 0; i < data.size(); ++i)
        expected[static_cast<uint32_t>(0x08000000 + i)] = data[i];
    EXPECT_EQ(device.LoadedImage(), expected);
    Port.SetActive(false);
}

TEST_F(SimulatedDeviceOverSerial, HangUpIsReportedAsALostDevice)
{
    TSimulatedDeviceOptions options;
    options.HangUpAtRecord = 1;
    TSimulatedDevice device(options);
    Connect(device);
    ASSERT_TRUE(EnterBootLoader());
    Port.WriteString("S0030000FC\r");
    ASSERT_TRUE(MainThread.PumpUntil([this] { return (Errors & CE_DEVICE_LOST) != 0; }));
    EXPECT_TRUE(device.HungUp());
    Port.SetActive(false);
}
