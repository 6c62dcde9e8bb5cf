// The hand-over between the communication thread and the main thread on its own.
#include "serial/TMainThreadNotifier.h"
#include "tests/serial/TestMainThread.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

namespace {

TEST(MainThreadNotifier, ACloseAlreadyWaitingServesAnOfferMadeAfterIt)
{
    TTestMainThread mainThread; // its tasks are not run: the waiting close serves the offer
    std::vector<TNotificationKind> handled;
    TMainThreadNotifier notifier(mainThread,
                                 [&](const TNotification& n) { handled.push_back(n.Kind); });
    notifier.BeginWorker();
    bool delivered = false;
    std::thread worker([&] {
        // Lets the close below begin its wait first; the other order must work as well.
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        delivered = notifier.Send({TNotificationKind::DataAvailable, 0});
        notifier.WorkerEnded();
    });
    notifier.WaitForWorkerEnd();
    worker.join();
    EXPECT_TRUE(delivered);
    EXPECT_EQ(handled, std::vector<TNotificationKind>{TNotificationKind::DataAvailable});
}

} // namespace
