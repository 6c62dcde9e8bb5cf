#include "sim/TSimulatedDevice.h"
#include "sim/SRecordGenerator.h"
#include "tests/support/TPseudoTerminal.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <sys/ioctl.h>
#include <thread>

using namespace std::chrono_literals;

namespace {

using TClock = std::chrono::steady_clock;

// The file as the program sends it: each line followed by CR alone.
std::string AsSent(const std::string& file)
{
    std::string sent;
    for (char c : file)
        if (c != '\r') sent += c == '\n' ? '\r' : c;
    return sent;
}

TLoadedImage ImageOf(const std::vector<uint8_t>& data, uint32_t base)
{
    TLoadedImage image;
    for (std::size_t i = 0; i < data.size(); ++i)
        image[static_cast<uint32_t>(base + i)] = data[i];
    return image;
}

// Walks the dialogue the way the program's automatic answers do.
void Unlock(TProgramEnd& peer)
{
    ASSERT_TRUE(peer.Write("\r\n"));
    ASSERT_NE(peer.ReadUntil(">").find(">"), std::string::npos);
    ASSERT_TRUE(peer.Write("2"));
    ASSERT_NE(peer.ReadUntil(":").find(":"), std::string::npos);
    ASSERT_TRUE(peer.Write("qxvt"));
    ASSERT_NE(peer.ReadUntil("Send").find("Send"), std::string::npos);
}

// One-shot flag a device callback raises and a test waits on.
class TSignal
{
public:
    void Raise()
    {
        std::lock_guard lock(fMutex);
        fRaised = true;
        fChanged.notify_all();
    }
    bool Wait()
    {
        std::unique_lock lock(fMutex);
        return fChanged.wait_for(lock, pty_io::Patience, [this] { return fRaised; });
    }

private:
    std::mutex fMutex;
    std::condition_variable fChanged;
    bool fRaised = false;
};

TSimulatedDeviceOptions Unpaced()
{
    TSimulatedDeviceOptions options;
    options.Baudrate = 0;
    return options;
}

} // namespace

TEST(TSimulatedDevice, ServesTheMenuOnItsPseudoTerminalAndSurvivesReconnects)
{
    TSimulatedDevice device;
    EXPECT_EQ(device.DevicePath().rfind("/dev/pts/", 0), 0u) << device.DevicePath();
    for (int connection = 0; connection < 2; ++connection) {
        TProgramEnd peer(device.DevicePath());
        ASSERT_TRUE(peer.Write("\r\n"));
        const std::string menu = peer.ReadUntil(">");
        EXPECT_NE(menu.find("boot loader"), std::string::npos) << menu;
        EXPECT_EQ(menu.back(), '>') << menu;
    }
    EXPECT_EQ(device.ThreadError(), "");
}

TEST(TSimulatedDevice, PasswordGateOverTheLine)
{
    TSimulatedDevice device(Unpaced());
    TProgramEnd peer(device.DevicePath());
    ASSERT_TRUE(peer.Write("\r\n"));
    peer.ReadUntil(">");
    ASSERT_TRUE(peer.Write("2"));
    peer.ReadUntil(":");
    ASSERT_TRUE(peer.Write("abcd"));
    const std::string refused = peer.ReadUntil(":");
    EXPECT_NE(refused.find("Wrong password"), std::string::npos) << refused;
    EXPECT_EQ(device.State(), TDeviceState::Password);
    ASSERT_TRUE(peer.Write("qxvt"));
    const std::string ready = peer.ReadUntil("Send");
    EXPECT_NE(ready.find("loads3"), std::string::npos) << ready;
    EXPECT_EQ(device.State(), TDeviceState::Loading);
}

TEST(TSimulatedDevice, ValidFileLoadsAnImageEqualToTheGeneratorsInput)
{
    const auto data = GenerateFirmwareBytes(16 * 1024, 42);
    TSignal loaded;
    TSimulatedDeviceOptions options = Unpaced();
    options.OnLoadComplete = [&loaded] { loaded.Raise(); };
    TSimulatedDevice device(options);
    TProgramEnd peer(device.DevicePath());
    Unlock(peer);

    ASSERT_TRUE(peer.Write(AsSent(GenerateSRecordFile(data, 0x08000000))));
    const std::string replies = peer.ReadUntil(">");
    EXPECT_NE(replies.find("Load complete - 514 records, 16384 data bytes"), std::string::npos);
    EXPECT_EQ(replies.find("ERREUR"), std::string::npos);
    ASSERT_TRUE(loaded.Wait());
    EXPECT_EQ(device.CompletedLoads(), 1u);
    EXPECT_EQ(device.LoadedImage(), ImageOf(data, 0x08000000));
}

TEST(TSimulatedDevice, BadChecksumGetsErreurAndStopsLoading)
{
    const auto data = GenerateFirmwareBytes(32 * 8, 4);
    std::string file = AsSent(GenerateSRecordFile(data, 0));
    // Corrupt the checksum of record 4 (S0 is record 1).
    std::size_t end = 0;
    for (int line = 0; line < 4; ++line)
        end = file.find('\r', end) + 1;
    char& checksum = file[end - 2];
    checksum = checksum == '0' ? '1' : '0';

    TSimulatedDevice device(Unpaced());
    TProgramEnd peer(device.DevicePath());
    Unlock(peer);
    ASSERT_TRUE(peer.Write(file));
    const std::string error = peer.ReadUntil("load stopped\r\n");
    EXPECT_NE(error.find("ERREUR record 4 - Checksum mismatch"), std::string::npos) << error;
    // Init brings the menu back once every line before it was dealt with.
    ASSERT_TRUE(peer.Write("\r\n"));
    const std::string after = peer.ReadUntil(">");
    EXPECT_EQ(after.find("Load complete"), std::string::npos) << after;
    EXPECT_EQ(device.CompletedLoads(), 0u);
    EXPECT_EQ(device.LoadedImage(),
              ImageOf(std::vector<uint8_t>(data.begin(), data.begin() + 64), 0));
}

TEST(TSimulatedDevice, ReceivingIsPacedToTheLineSpeed)
{
    // 2 KiB of records at 115200 baud need 0.18 s on a real line; allow anything short of a hang.
    const std::string file = AsSent(GenerateSRecordFile(GenerateFirmwareBytes(1024), 0));
    ASSERT_GE(file.size(), 2048u);
    TSimulatedDeviceOptions options;
    options.AnswerEvery = 0;
    options.ProgressEvery = 0;
    TSimulatedDevice device(options);
    TProgramEnd peer(device.DevicePath());
    Unlock(peer);

    const auto start = TClock::now();
    ASSERT_TRUE(peer.Write(file));
    peer.ReadUntil("Load complete");
    const auto elapsed = TClock::now() - start;
    EXPECT_EQ(device.CompletedLoads(), 1u);
    EXPECT_GE(elapsed, 100ms);
    EXPECT_LT(elapsed, 10s);
}

TEST(TSimulatedDevice, SendingIsPacedToTheLineSpeed)
{
    TSimulatedDeviceOptions options;
    options.Baudrate = 9600; // the banner and menu (about 190 bytes) need 0.2 s
    TSimulatedDevice device(options);
    TProgramEnd peer(device.DevicePath());
    const auto start = TClock::now();
    ASSERT_TRUE(peer.Write("\r\n"));
    const std::string menu = peer.ReadUntil(">");
    const auto elapsed = TClock::now() - start;
    ASSERT_GE(menu.size(), 150u);
    EXPECT_GE(elapsed, 120ms);
    EXPECT_LT(elapsed, 10s);
}

TEST(TSimulatedDevice, ReplyDelayHoldsEachAnswerBack)
{
    TSimulatedDeviceOptions options = Unpaced();
    options.ReplyDelay = 300ms;
    TSimulatedDevice device(options);
    TProgramEnd peer(device.DevicePath());
    const auto start = TClock::now();
    ASSERT_TRUE(peer.Write("\r\n"));
    EXPECT_EQ(peer.ReadUntil(">").back(), '>');
    EXPECT_GE(TClock::now() - start, 300ms);
}

TEST(TSimulatedDevice, HangUpClosesTheLineLikeAPulledAdapter)
{
    TSignal hungUp;
    TSimulatedDeviceOptions options = Unpaced();
    options.HangUpAtRecord = 2;
    options.OnHangUp = [&hungUp] { hungUp.Raise(); };
    TSimulatedDevice device(options);
    TProgramEnd peer(device.DevicePath());
    Unlock(peer);
    ASSERT_TRUE(peer.Write(AsSent(GenerateSRecordFile(GenerateFirmwareBytes(256), 0))));
    EXPECT_TRUE(peer.WaitForHangUp());
    ASSERT_TRUE(hungUp.Wait());
    EXPECT_TRUE(device.HungUp());
    // A hung-up terminal reads as end of file (or EIO) and refuses writes.
    char byte;
    const ssize_t n = ::read(peer.Fd(), &byte, 1);
    EXPECT_TRUE(n == 0 || (n < 0 && errno == EIO)) << n << " " << errno;
    EXPECT_EQ(::write(peer.Fd(), "S", 1), -1);
    EXPECT_EQ(errno, EIO);
    EXPECT_EQ(device.ThreadError(), "");
}

TEST(TSimulatedDevice, ExclusiveModeLeftByACrashedProgramIsCleared)
{
    TSimulatedDevice device(Unpaced());
    {
        TProgramEnd crashed(device.DevicePath());
        ASSERT_EQ(::ioctl(crashed.Fd(), TIOCEXCL), 0);
    } // closed without undoing the exclusive mode, as a crash would leave it
    // Nothing tells the test when the device has reacted; look until it has (a hang guard).
    int exclusive = 1;
    const auto deadline = TClock::now() + pty_io::Patience;
    while (exclusive != 0 && TClock::now() < deadline) {
        // Root may open an exclusive terminal, anyone else gets EBUSY until it is cleared.
        TFileDescriptor probe(::open(device.DevicePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
        if (probe.Valid()) {
            ASSERT_EQ(::ioctl(probe.Get(), TIOCGEXCL, &exclusive), 0);
        }
        if (exclusive != 0) std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(exclusive, 0);
    TProgramEnd next(device.DevicePath());
    ASSERT_TRUE(next.Write("\r\n"));
    EXPECT_EQ(next.ReadUntil(">").back(), '>');
}

TEST(TSimulatedDevice, PeerThatNeverReadsCannotMakeTheDeviceGrowOrHang)
{
    TSimulatedDevice device(Unpaced());
    TProgramEnd peer(device.DevicePath());
    // Each CR brings a menu of about 190 bytes: far more than the queue keeps.
    ASSERT_TRUE(peer.Write(std::string(2000, '\r')));
    const auto deadline = TClock::now() + pty_io::Patience;
    while (device.DroppedReplyBytes() == 0 && TClock::now() < deadline)
        std::this_thread::sleep_for(10ms); // no event exists for "the device gave up on bytes"
    EXPECT_GT(device.DroppedReplyBytes(), 0u);
    EXPECT_EQ(device.ThreadError(), "");
    // The destructor now stops a device whose output is blocked.
}
