// The serial component's notifications reach the GUI thread in the order they were posted.
#include "PtyPeer.h"
#include "app/QtMainThreadExecutor.h"
#include "app/TErrorReport.h"

#include <QCoreApplication>
#include <QThread>
#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>
#include <vector>

namespace {

TEST(QtMainThreadExecutor, RunsTasksFromAnotherThreadOnTheGuiThreadInOrder)
{
    QtMainThreadExecutor executor;
    std::vector<int> order;
    bool allOnGuiThread = true;
    QThread* const gui = QThread::currentThread();
    std::thread poster([&] {
        for (int i = 0; i < 1000; ++i)
            executor.Post([&, i] {
                allOnGuiThread = allOnGuiThread && QThread::currentThread() == gui;
                order.push_back(i);
            });
    });
    poster.join();
    ASSERT_TRUE(WaitUntil([&] { return order.size() == 1000; }));
    EXPECT_TRUE(allOnGuiThread);
    for (int i = 0; i < 1000; ++i)
        ASSERT_EQ(order[static_cast<std::size_t>(i)], i);
}

TEST(QtMainThreadExecutor, AFailingTaskIsReportedAndLaterTasksStillRun)
{
    QStringList reports;
    const auto previous = TErrorReport::SetSink([&](const QString& t) { reports << t; });
    QtMainThreadExecutor executor;
    bool laterRan = false;
    executor.Post([] { throw std::runtime_error("Port not open"); });
    executor.Post([&] { laterRan = true; });
    EXPECT_TRUE(WaitUntil([&] { return laterRan; }));
    TErrorReport::SetSink(previous);
    EXPECT_EQ(reports, QStringList{"Port not open."});
}

TEST(QtMainThreadExecutor, TasksPendingWhenItIsDestroyedAreDropped)
{
    bool ran = false;
    {
        QtMainThreadExecutor executor;
        executor.Post([&] { ran = true; });
    }
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    EXPECT_FALSE(ran);
}

} // namespace
