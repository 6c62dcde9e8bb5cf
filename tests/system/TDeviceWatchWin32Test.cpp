// The device watch on Windows: the system's notices reach a message-only window, which makes the
// wait look again; Stop ends the wait at once; a thread with its own message loop is called back.
#include "system/TDeviceWatch.h"

#include <windows.h>

#include <dbt.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

// What the system sends when a COM port arrives or goes (the header only: the watch reads
// nothing more).
void Announce(void* window, WPARAM event)
{
    DEV_BROADCAST_HDR header{};
    header.dbch_size = sizeof header;
    header.dbch_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    ::SendMessageW(static_cast<HWND>(window), WM_DEVICECHANGE, event,
                   reinterpret_cast<LPARAM>(&header));
}

// Until holds() (bounded generously, against a hang).
template <class TCondition> void AwaitCondition(TCondition holds)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!holds() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

void* WindowOf(const TDeviceWatch& watch)
{
    AwaitCondition([&] { return watch.Window() != nullptr; });
    return watch.Window();
}

TEST(DeviceWatchWin32, EachArrivalOrRemovalMakesTheWaitLookAgainAndStopEndsIt)
{
    TDeviceWatch watch;
    std::atomic<int> asked = 0;
    std::atomic<bool> there = false;
    std::thread announcer([&] {
        void* window = WindowOf(watch);
        ASSERT_NE(window, nullptr);
        Announce(window, DBT_DEVICEREMOVECOMPLETE);
        AwaitCondition([&] { return asked >= 2; });
        EXPECT_EQ(asked, 2);
        ::PostMessageW(static_cast<HWND>(window), WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
        AwaitCondition([&] { return asked >= 3; });
        EXPECT_EQ(asked, 3);
        there = true;
        Announce(window, DBT_DEVICEARRIVAL);
    });
    EXPECT_TRUE(watch.WaitUntil(
        [&] {
            ++asked;
            return there.load();
        },
        "COM7"));
    announcer.join();
    EXPECT_EQ(asked, 4);
    EXPECT_EQ(watch.Window(), nullptr); // the wait's window went with it

    std::thread stopper([&] {
        ASSERT_NE(WindowOf(watch), nullptr);
        watch.Stop();
    });
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(watch.WaitUntil([] { return false; }, "COM7"));
    stopper.join();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20)); // no hang
}

TEST(DeviceWatchWin32, AThreadWithItsOwnMessageLoopIsCalledBackOnEachChange)
{
    TDeviceWatch watch;
    int changes = 0;
    watch.Watch("COM7", [&] { ++changes; });
    ASSERT_NE(watch.Window(), nullptr);
    HWND window = static_cast<HWND>(watch.Window());
    ::PostMessageW(window, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
    ::PostMessageW(window, WM_DEVICECHANGE, DBT_DEVICEQUERYREMOVE, 0); // asks, changes nothing
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
        ::DispatchMessageW(&message);
    EXPECT_EQ(changes, 1);
    Announce(window, DBT_DEVICEARRIVAL); // the same thread: straight to the window
    EXPECT_EQ(changes, 2);
}

} // namespace
