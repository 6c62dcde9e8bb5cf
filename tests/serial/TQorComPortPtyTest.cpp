// The component on pseudo-terminals: the real POSIX backend, the test playing the device.
#include "EQorComPort.h"
#include "PtyPair.h"
#include "TQorComPort.h"
#include "TestMainThread.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

class PtyPortTest : public ::testing::Test
{
protected:
    PtyPortTest()
    {
        Port.SetDevicePath(2, Pty.SlavePath());
        Port.SetPort(2);
    }

    TPtyPair Pty;
    TTestMainThread MainThread;
    TQorComPort Port{MainThread};
};

TEST_F(PtyPortTest, SendsWhatIsWrittenAndHandsOverWhatArrives)
{
    std::string received;
    int notifications = 0;
    Port.SetOnDataAvailable([&](TQorComPort& sender) {
        ++notifications;
        received += sender.ReadString();
        EXPECT_EQ(sender.RxCount(), 0);
    });
    Port.SetActive(true);
    ASSERT_TRUE(Port.Active());

    Port.WriteString("hello\r");
    EXPECT_EQ(Pty.Receive(6), "hello\r");

    Pty.Send("device>");
    ASSERT_TRUE(MainThread.PumpUntil([&] { return received.size() >= 7; }));
    EXPECT_EQ(received, "device>");
    EXPECT_GE(notifications, 1);

    Port.SetActive(false);
    EXPECT_FALSE(Port.Active());
    EXPECT_THROW(Port.WriteString("x"), EQorComPort);
}

TEST_F(PtyPortTest, WriteWhileClosedRaisesPortNotOpen)
{
    try {
        Port.WriteString("x");
        FAIL() << "no exception";
    } catch (const EQorComPort& e) {
        EXPECT_STREQ(e.what(), "Port not open");
    }
}

TEST_F(PtyPortTest, ReopensAfterClose)
{
    Port.SetActive(true);
    Port.SetActive(false);
    Port.SetActive(true);
    Port.WriteString("again");
    EXPECT_EQ(Pty.Receive(5), "again");
}

TEST_F(PtyPortTest, PortChangedWhileOpenTakesEffectAtNextOpen)
{
    TPtyPair other;
    Port.SetDevicePath(1, other.SlavePath());
    Port.SetActive(true);
    Port.SetPort(1);
    Port.WriteString("old");
    EXPECT_EQ(Pty.Receive(3), "old");
    Port.SetActive(false);
    Port.SetActive(true);
    Port.WriteString("new");
    EXPECT_EQ(other.Receive(3), "new");
}

class OpenFailureTest : public ::testing::Test
{
protected:
    // Opening must fail with the path in the message, leave the component closed and leak
    // no descriptor.
    void ExpectOpenFails(int port, const std::string& expectedPath)
    {
        const int before = OpenDescriptorCount();
        try {
            Port.SetPort(port);
            Port.SetActive(true);
            FAIL() << "opened " << expectedPath;
        } catch (const EQorComPort& e) {
            EXPECT_EQ(std::string(e.what()), "Cannot open port '" + expectedPath + "'");
        }
        EXPECT_FALSE(Port.Active());
        EXPECT_EQ(OpenDescriptorCount(), before);
    }

    TTestMainThread MainThread;
    TQorComPort Port{MainThread};
};

TEST_F(OpenFailureTest, PortNumberZeroNamesNoDevice)
{
    ExpectOpenFails(0, "COM0");
    ExpectOpenFails(-3, "COM-3");
}

TEST_F(OpenFailureTest, DefaultDeviceNamesFollowThePortNumber)
{
    EXPECT_EQ(Port.DevicePath(1), "/dev/ttyS0");
    EXPECT_EQ(Port.DevicePath(2), "/dev/ttyS1");
    Port.SetDevicePath(2, "/dev/ttyUSB0");
    EXPECT_EQ(Port.DevicePath(2), "/dev/ttyUSB0");
    EXPECT_EQ(Port.DevicePath(1), "/dev/ttyS0");
}

TEST_F(OpenFailureTest, MissingPathRegularFileAndNullDeviceAreRefused)
{
    const auto dir = std::filesystem::temp_directory_path();
    const std::string regular = (dir / ("tarvel-serial-" + std::to_string(::getpid()))).string();
    std::ofstream(regular) << "not a terminal";

    Port.SetDevicePath(1, "/nonexistent/ttyX");
    ExpectOpenFails(1, "/nonexistent/ttyX");
    Port.SetDevicePath(1, regular);
    ExpectOpenFails(1, regular);
    Port.SetDevicePath(1, "/dev/null");
    ExpectOpenFails(1, "/dev/null");
    std::filesystem::remove(regular);

    // The component is still usable.
    TPtyPair pty;
    Port.SetDevicePath(1, pty.SlavePath());
    Port.SetActive(true);
    EXPECT_TRUE(Port.Active());
}

TEST_F(OpenFailureTest, PortInUseElsewhereIsRefusedUntilReleased)
{
    TPtyPair pty;
    TQorComPort first(MainThread);
    first.SetDevicePath(1, pty.SlavePath());
    first.SetPort(1);
    first.SetActive(true);

    Port.SetDevicePath(1, pty.SlavePath());
    ExpectOpenFails(1, pty.SlavePath());

    first.SetActive(false);
    Port.SetActive(true);
    EXPECT_TRUE(Port.Active());
}

} // namespace
