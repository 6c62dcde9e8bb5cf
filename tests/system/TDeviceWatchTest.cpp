// The owners of OS resources: a device watch learns of arrivals from the kernel, also below a
// folder that does not exist yet, and a stop from another thread ends its wait.
#include "system/TDeviceWatch.h"
#include "system/TWakeUpEvent.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

class DeviceWatch : public ::testing::Test
{
protected:
    void SetUp() override
    {
        fRoot = fs::temp_directory_path() /
                ("tarvel-watch-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(fRoot);
    }
    void TearDown() override { fs::remove_all(fRoot); }

    fs::path fRoot;
};

TEST_F(DeviceWatch, AnArrivalEndsTheWaitEvenBelowAFolderMadeLater)
{
    // The device's folder does not exist yet, as /dev/serial/by-id before the first adapter.
    const fs::path device = fRoot / "serial" / "by-id" / "usb-adapter";
    TDeviceWatch watch;
    std::thread arrival([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        fs::create_directories(device.parent_path());
        std::ofstream(device.string()) << "";
    });
    const auto started = std::chrono::steady_clock::now();
    EXPECT_TRUE(watch.WaitUntil([&] { return fs::exists(device); }, device.string()));
    arrival.join();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20)); // no hang
}

TEST_F(DeviceWatch, StopFromAnotherThreadEndsTheWaitWithoutTheDevice)
{
    TDeviceWatch watch;
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        watch.Stop();
    });
    EXPECT_FALSE(watch.WaitUntil([] { return false; }, (fRoot / "never").string()));
    stopper.join();
}

TEST_F(DeviceWatch, AnEventLoopSeesTheDescriptorReadableAfterAChange)
{
    TDeviceWatch watch;
    watch.Watch((fRoot / "ttyUSB0").string());
    std::ofstream((fRoot / "ttyUSB0").string()) << "";
    pollfd fd{watch.Descriptor(), POLLIN, 0};
    ASSERT_EQ(::poll(&fd, 1, 20000), 1);
    watch.Drain();
    EXPECT_EQ(::poll(&fd, 1, 0), 0); // drained: quiet until the next change
}

TEST(WakeUpEvent, RaisedStaysRaisedUntilCleared)
{
    const TWakeUpEvent event;
    EXPECT_FALSE(event.Wait(0));
    event.Raise();
    EXPECT_TRUE(event.Wait(0));
    EXPECT_TRUE(event.Wait(0));
    event.Clear();
    EXPECT_FALSE(event.Wait(0));
}

} // namespace
