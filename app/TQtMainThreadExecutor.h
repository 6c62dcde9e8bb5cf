#pragma once
#include "serial/IMainThreadExecutor.h"
#include "system/TWakeUpEvent.h"

#include <deque>
#include <functional>
#include <memory>
#include <mutex>

class QSocketNotifier;

// Runs the serial component's notifications on the thread that created the executor (the GUI
// thread), in the order they were posted. Must outlive every component that posts to it.
//
// The hand-over is this class's own: a task is queued under fMutex by the posting thread and taken
// out under fMutex by the GUI thread, so everything the poster wrote before Post is visible to the
// task. An eventfd, watched by the GUI thread's event loop, only wakes it up.
class TQtMainThreadExecutor final : public IMainThreadExecutor
{
public:
    TQtMainThreadExecutor();
    ~TQtMainThreadExecutor() override; // tasks still queued are dropped
    TQtMainThreadExecutor(const TQtMainThreadExecutor&) = delete;
    TQtMainThreadExecutor& operator=(const TQtMainThreadExecutor&) = delete;

    void Post(std::function<void()> task) override; // any thread

private:
    void RunQueued(); // GUI thread

    std::mutex fMutex;
    std::deque<std::function<void()>> fQueue; // guarded by fMutex
    TWakeUpEvent fWakeUp;                     // raised while a wake-up is pending
    std::unique_ptr<QSocketNotifier> fWakeUpNotifier;
};
