// The component on pseudo-terminals: the real POSIX backend, the test playing the device.
#include "serial/EQorComPort.h"
#include "serial/SerialConstants.h"
#include "serial/TQorComPort.h"
#include "tests/serial/PtyFlooder.h"
#include "tests/serial/TestMainThread.h"
#include "tests/support/TPseudoTerminal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

class PtyPortTest : public ::testing::Test
{
protected:
    PtyPortTest()
    {
        fPort.SetDevicePath(2, fPty.DevicePath());
        fPort.SetPort(2);
    }

    TPseudoTerminal fPty;
    TTestMainThread fMainThread;
    TQorComPort fPort{fMainThread};
};

TEST_F(PtyPortTest, SendsWhatIsWrittenAndHandsOverWhatArrives)
{
    std::string received;
    int notifications = 0;
    fPort.SetOnDataAvailable([&](TQorComPort& sender) {
        ++notifications;
        received += sender.ReadString();
        EXPECT_EQ(sender.RxCount(), 0);
    });
    fPort.SetActive(true);
    ASSERT_TRUE(fPort.Active());

    fPort.WriteString("hello\r");
    EXPECT_EQ(fPty.Receive(6), "hello\r");

    fPty.Send("device>");
    ASSERT_TRUE(fMainThread.PumpUntil([&] { return received.size() >= 7; }));
    EXPECT_EQ(received, "device>");
    EXPECT_GE(notifications, 1);

    fPort.SetActive(false);
    EXPECT_FALSE(fPort.Active());
    EXPECT_THROW(fPort.WriteString("x"), EQorComPort);
}

TEST_F(PtyPortTest, WriteWhileClosedRaisesPortNotOpen)
{
    try {
        fPort.WriteString("x");
        FAIL() << "no exception";
    } catch (const EQorComPort& e) {
        EXPECT_STREQ(e.what(), "Port not open");
    }
}

TEST_F(PtyPortTest, ReopensAfterClose)
{
    fPort.SetActive(true);
    fPort.SetActive(false);
    fPort.SetActive(true);
    fPort.WriteString("again");
    EXPECT_EQ(fPty.Receive(5), "again");
}

TEST_F(PtyPortTest, PortChangedWhileOpenTakesEffectAtNextOpen)
{
    TPseudoTerminal other;
    fPort.SetDevicePath(1, other.DevicePath());
    fPort.SetActive(true);
    fPort.SetPort(1);
    fPort.WriteString("old");
    EXPECT_EQ(fPty.Receive(3), "old");
    fPort.SetActive(false);
    fPort.SetActive(true);
    fPort.WriteString("new");
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
            fPort.SetPort(port);
            fPort.SetActive(true);
            FAIL() << "opened " << expectedPath;
        } catch (const EQorComPort& e) {
            EXPECT_EQ(std::string(e.what()), "Cannot open port '" + expectedPath + "'");
        }
        EXPECT_FALSE(fPort.Active());
        EXPECT_EQ(OpenDescriptorCount(), before);
    }

    TTestMainThread fMainThread;
    TQorComPort fPort{fMainThread};
};

TEST_F(OpenFailureTest, PortNumberZeroNamesNoDevice)
{
    ExpectOpenFails(0, "COM0");
    ExpectOpenFails(-3, "COM-3");
}

TEST_F(OpenFailureTest, DefaultDeviceNamesFollowThePortNumber)
{
    EXPECT_EQ(fPort.DevicePath(1), "/dev/ttyS0");
    EXPECT_EQ(fPort.DevicePath(2), "/dev/ttyS1");
    fPort.SetDevicePath(2, "/dev/ttyUSB0");
    EXPECT_EQ(fPort.DevicePath(2), "/dev/ttyUSB0");
    EXPECT_EQ(fPort.DevicePath(1), "/dev/ttyS0");
}

TEST_F(OpenFailureTest, MissingPathRegularFileAndNullDeviceAreRefused)
{
    const auto dir = std::filesystem::temp_directory_path();
    const std::string regular = (dir / ("tarvel-serial-" + std::to_string(::getpid()))).string();
    std::ofstream(regular) << "not a terminal";

    fPort.SetDevicePath(1, "/nonexistent/ttyX");
    ExpectOpenFails(1, "/nonexistent/ttyX");
    fPort.SetDevicePath(1, regular);
    ExpectOpenFails(1, regular);
    fPort.SetDevicePath(1, "/dev/null");
    ExpectOpenFails(1, "/dev/null");
    std::filesystem::remove(regular);

    // The component is still usable.
    TPseudoTerminal pty;
    fPort.SetDevicePath(1, pty.DevicePath());
    fPort.SetActive(true);
    EXPECT_TRUE(fPort.Active());
}

TEST_F(OpenFailureTest, PortInUseElsewhereIsRefusedUntilReleased)
{
    TPseudoTerminal pty;
    TQorComPort first(fMainThread);
    first.SetDevicePath(1, pty.DevicePath());
    first.SetPort(1);
    first.SetActive(true);

    fPort.SetDevicePath(1, pty.DevicePath());
    ExpectOpenFails(1, pty.DevicePath());

    first.SetActive(false);
    fPort.SetActive(true);
    EXPECT_TRUE(fPort.Active());
}

} // namespace

namespace {

std::string Pattern(size_t size, unsigned seed)
{
    std::string data(size, '\0');
    uint32_t x = seed;
    for (auto& c : data) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 24);
    }
    return data;
}

TEST_F(PtyPortTest, MegabyteWriteReturnsAtOnceAndArrivesInOrder)
{
    int sent = 0;
    fPort.SetOnDataSent([&](TQorComPort&) { ++sent; });
    fPort.SetActive(true);

    const std::string big = Pattern(1 << 20, 1);
    std::string copy = big;
    // The peer reads nothing yet: a blocking write would never return here.
    const int immediate = fPort.WriteString(copy);
    EXPECT_GE(immediate, 0);
    EXPECT_LT(immediate, static_cast<int>(big.size()));
    std::fill(copy.begin(), copy.end(), 'X'); // the caller may reuse its buffer at once
    const std::string tail = "--tail--";
    EXPECT_EQ(fPort.WriteString(tail), 0); // queued behind the rest

    const std::string arrived = fPty.Receive(big.size() + tail.size());
    ASSERT_EQ(arrived.size(), big.size() + tail.size());
    EXPECT_TRUE(arrived.compare(0, big.size(), big) == 0);
    EXPECT_EQ(arrived.substr(big.size()), tail);

    ASSERT_TRUE(fMainThread.PumpUntil([&] { return sent >= 1; }));
}

TEST_F(PtyPortTest, CloseWithOutputStillQueuedDoesNotBlock)
{
    fPort.SetActive(true);
    fPort.WriteString(Pattern(1 << 20, 2));
    fPort.SetActive(false); // the peer never reads; what is queued goes with the port
    EXPECT_FALSE(fPort.Active());
}

TEST_F(PtyPortTest, LineModeOverATerminal)
{
    std::vector<std::string> lines;
    fPort.SetLineMode(true);
    fPort.SetOnDataAvailable([&](TQorComPort& sender) { lines.push_back(sender.ReadString()); });
    fPort.SetActive(true);
    fPty.Send("first\r\nsec");
    fPty.Send("ond\r\nthi");
    ASSERT_TRUE(fMainThread.PumpUntil([&] { return lines.size() >= 2; }));
    EXPECT_EQ(lines, (std::vector<std::string>{"first\r\n", "second\r\n"}));
}

TEST_F(PtyPortTest, StreamArrivesCompleteAndInOrder)
{
    std::string received;
    fPort.SetOnDataAvailable([&](TQorComPort& sender) { received += sender.ReadString(); });
    fPort.SetActive(true);
    const std::string data = Pattern(2 << 20, 3);
    std::thread device([&] { fPty.Send(data); });
    const bool complete = fMainThread.PumpUntil([&] { return received.size() >= data.size(); },
                                                std::chrono::seconds(60));
    device.join();
    ASSERT_TRUE(complete);
    EXPECT_TRUE(received == data);
}

// Checks that what arrived is a prefix of the flooder's pattern.
bool IsPatternPrefix(const std::string& received)
{
    for (size_t i = 0; i < received.size(); ++i)
        if (received[i] != TPtyFlooder::PatternByte(i)) return false;
    return true;
}

TEST_F(PtyPortTest, CloseWhileTheDeviceFloodsNeverDeadlocks)
{
    std::string received;
    fPort.SetOnDataAvailable([&](TQorComPort& sender) { received += sender.ReadString(); });
    TPtyFlooder flooder(fPty.Master());
    for (int i = 0; i < 1000; ++i) {
        fPort.SetActive(true);
        if (i % 2 == 0) {
            // Serve hand-overs until some data came, then close between two of them.
            const size_t before = received.size();
            ASSERT_TRUE(fMainThread.PumpUntil([&] { return received.size() > before; }));
        } else {
            // Close while the thread waits for a hand-over nobody has served yet.
            ASSERT_TRUE(fMainThread.WaitForQueued(1));
        }
        fPort.SetActive(false);
        ASSERT_FALSE(fPort.Active());
        fMainThread.RunPending();
    }
    flooder.Stop();
    EXPECT_TRUE(IsPatternPrefix(received)); // nothing lost, reordered or duplicated
}

double ProcessCpuSeconds()
{
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// After the device is gone the thread must neither spin nor keep Close waiting.
void ExpectQuietAfterLoss(TTestMainThread& mainThread, TQorComPort& port,
                          const std::vector<uint32_t>& errors)
{
    ASSERT_TRUE(mainThread.PumpUntil([&] { return !errors.empty(); }));
    EXPECT_EQ(errors, std::vector<uint32_t>{CE_DEVICE_LOST});
    const double before = ProcessCpuSeconds();
    // A measuring window, not a synchronisation: a spinning thread would burn all of it.
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const double used = ProcessCpuSeconds() - before;
    EXPECT_LT(used, 0.3) << "CPU seconds used in one second after the device was lost";
    mainThread.RunPending();
    EXPECT_EQ(errors.size(), 1u);
    port.SetActive(false);
    EXPECT_FALSE(port.Active());
}

TEST_F(PtyPortTest, DeviceLostWhileIdle)
{
    std::vector<uint32_t> errors;
    fPort.SetOnError([&](TQorComPort&, uint32_t e) { errors.push_back(e); });
    fPort.SetOnDataAvailable([](TQorComPort& sender) { sender.ReadString(); });
    fPort.SetActive(true);
    fPty.CloseMaster();
    ExpectQuietAfterLoss(fMainThread, fPort, errors);
    EXPECT_THROW(fPort.SetActive(true), EQorComPort); // the device is gone for good
}

TEST_F(PtyPortTest, DeviceLostWhileReceiving)
{
    std::vector<uint32_t> errors;
    std::string received;
    fPort.SetOnError([&](TQorComPort&, uint32_t e) { errors.push_back(e); });
    fPort.SetOnDataAvailable([&](TQorComPort& sender) { received += sender.ReadString(); });
    fPort.SetActive(true);
    {
        TPtyFlooder flooder(fPty.Master());
        ASSERT_TRUE(fMainThread.PumpUntil([&] { return received.size() > 100000; }));
    }
    fPty.CloseMaster();
    ExpectQuietAfterLoss(fMainThread, fPort, errors);
    EXPECT_TRUE(IsPatternPrefix(received));
}

TEST_F(PtyPortTest, DeviceLostWhileOutputIsQueued)
{
    std::vector<uint32_t> errors;
    fPort.SetOnError([&](TQorComPort&, uint32_t e) { errors.push_back(e); });
    fPort.SetActive(true);
    fPort.WriteString(Pattern(1 << 20, 4));
    fPty.CloseMaster();
    ExpectQuietAfterLoss(fMainThread, fPort, errors);
}

} // namespace
