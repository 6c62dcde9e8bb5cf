// The component on pseudo-terminals: the real POSIX backend, the test playing the device.
#include "serial/EQorComPort.h"
#include "serial/SerialConstants.h"
#include "serial/TQorComPort.h"
#include "tests/serial/PtyFlooder.h"
#include "tests/serial/PtyPair.h"
#include "tests/serial/TestMainThread.h"

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
    Port.SetOnDataSent([&](TQorComPort&) { ++sent; });
    Port.SetActive(true);

    const std::string big = Pattern(1 << 20, 1);
    std::string copy = big;
    // The peer reads nothing yet: a blocking write would never return here.
    const int immediate = Port.WriteString(copy);
    EXPECT_GE(immediate, 0);
    EXPECT_LT(immediate, static_cast<int>(big.size()));
    std::fill(copy.begin(), copy.end(), 'X'); // the caller may reuse its buffer at once
    const std::string tail = "--tail--";
    EXPECT_EQ(Port.WriteString(tail), 0); // queued behind the rest

    const std::string arrived = Pty.Receive(big.size() + tail.size());
    ASSERT_EQ(arrived.size(), big.size() + tail.size());
    EXPECT_TRUE(arrived.compare(0, big.size(), big) == 0);
    EXPECT_EQ(arrived.substr(big.size()), tail);

    ASSERT_TRUE(MainThread.PumpUntil([&] { return sent >= 1; }));
}

TEST_F(PtyPortTest, CloseWithOutputStillQueuedDoesNotBlock)
{
    Port.SetActive(true);
    Port.WriteString(Pattern(1 << 20, 2));
    Port.SetActive(false); // the peer never reads; what is queued goes with the port
    EXPECT_FALSE(Port.Active());
}

TEST_F(PtyPortTest, LineModeOverATerminal)
{
    std::vector<std::string> lines;
    Port.SetLineMode(true);
    Port.SetOnDataAvailable([&](TQorComPort& sender) { lines.push_back(sender.ReadString()); });
    Port.SetActive(true);
    Pty.Send("first\r\nsec");
    Pty.Send("ond\r\nthi");
    ASSERT_TRUE(MainThread.PumpUntil([&] { return lines.size() >= 2; }));
    EXPECT_EQ(lines, (std::vector<std::string>{"first\r\n", "second\r\n"}));
}

TEST_F(PtyPortTest, StreamArrivesCompleteAndInOrder)
{
    std::string received;
    Port.SetOnDataAvailable([&](TQorComPort& sender) { received += sender.ReadString(); });
    Port.SetActive(true);
    const std::string data = Pattern(2 << 20, 3);
    std::thread device([&] { Pty.Send(data); });
    const bool complete = MainThread.PumpUntil([&] { return received.size() >= data.size(); },
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
    Port.SetOnDataAvailable([&](TQorComPort& sender) { received += sender.ReadString(); });
    TPtyFlooder flooder(Pty.Master());
    for (int i = 0; i < 1000; ++i) {
        Port.SetActive(true);
        if (i % 2 == 0) {
            // Serve hand-overs until some data came, then close between two of them.
            const size_t before = received.size();
            ASSERT_TRUE(MainThread.PumpUntil([&] { return received.size() > before; }));
        } else {
            // Close while the thread waits for a hand-over nobody has served yet.
            ASSERT_TRUE(MainThread.WaitForQueued(1));
        }
        Port.SetActive(false);
        ASSERT_FALSE(Port.Active());
        MainThread.RunPending();
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
    Port.SetOnError([&](TQorComPort&, uint32_t e) { errors.push_back(e); });
    Port.SetOnDataAvailable([](TQorComPort& sender) { sender.ReadString(); });
    Port.SetActive(true);
    Pty.CloseMaster();
    ExpectQuietAfterLoss(MainThread, Port, errors);
    EXPECT_THROW(Port.SetActive(true), EQorComPort); // the device is gone for good
}

TEST_F(PtyPortTest, DeviceLostWhileReceiving)
{
    std::vector<uint32_t> errors;
    std::string received;
    Port.SetOnError([&](TQorComPort&, uint32_t e) { errors.push_back(e); });
    Port.SetOnDataAvailable([&](TQorComPort& sender) { received += sender.ReadString(); });
    Port.SetActive(true);
    {
        TPtyFlooder flooder(Pty.Master());
        ASSERT_TRUE(MainThread.PumpUntil([&] { return received.size() > 100000; }));
    }
    Pty.CloseMaster();
    ExpectQuietAfterLoss(MainThread, Port, errors);
    EXPECT_TRUE(IsPatternPrefix(received));
}

TEST_F(PtyPortTest, DeviceLostWhileOutputIsQueued)
{
    std::vector<uint32_t> errors;
    Port.SetOnError([&](TQorComPort&, uint32_t e) { errors.push_back(e); });
    Port.SetActive(true);
    Port.WriteString(Pattern(1 << 20, 4));
    Pty.CloseMaster();
    ExpectQuietAfterLoss(MainThread, Port, errors);
}

} // namespace
