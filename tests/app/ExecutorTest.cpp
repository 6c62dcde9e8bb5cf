// The serial component's notifications reach the GUI thread in the order they were posted.
#include "app/TQtMainThreadExecutor.h"
#include "app/TErrorReport.h"
#include "tests/app/EventLoopWait.h"
#include "tests/app/PtyPeer.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>
#include <vector>

namespace {

TEST(TQtMainThreadExecutor, RunsTasksFromAnotherThreadOnTheGuiThreadInOrder)
{
    TQtMainThreadExecutor executor;
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

TEST(TQtMainThreadExecutor, AFailingTaskIsReportedAndLaterTasksStillRun)
{
    QStringList reports;
    const auto previous = TErrorReport::SetSink([&](const QString& t) { reports << t; });
    TQtMainThreadExecutor executor;
    bool laterRan = false;
    executor.Post([] { throw std::runtime_error("Port not open"); });
    executor.Post([&] { laterRan = true; });
    EXPECT_TRUE(WaitUntil([&] { return laterRan; }));
    TErrorReport::SetSink(previous);
    EXPECT_EQ(reports, QStringList{"Port not open."});
}

TEST(TQtMainThreadExecutor, TasksQueuedBehindANestedEventLoopRunInsideIt)
{
    TQtMainThreadExecutor executor;
    std::vector<int> order;
    bool nestedEnded = false;
    executor.Post([&] {
        order.push_back(1);
        // What a modal box does: an event loop of its own until the others have run.
        QEventLoop nested;
        QTimer giveUp;
        giveUp.setSingleShot(true);
        QObject::connect(&giveUp, &QTimer::timeout, &nested, &QEventLoop::quit);
        giveUp.start(5000);
        QTimer check;
        QObject::connect(&check, &QTimer::timeout, [&] {
            if (order.size() == 3) nested.quit();
        });
        check.start(1);
        nested.exec();
        nestedEnded = true;
        order.push_back(4);
    });
    executor.Post([&] { order.push_back(2); });
    executor.Post([&] { order.push_back(3); });
    ASSERT_TRUE(WaitUntil([&] { return nestedEnded; }));
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4}));
}

TEST(TQtMainThreadExecutor, TasksPendingWhenItIsDestroyedAreDropped)
{
    bool ran = false;
    {
        TQtMainThreadExecutor executor;
        executor.Post([&] { ran = true; });
    }
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    EXPECT_FALSE(ran);
}

} // namespace
