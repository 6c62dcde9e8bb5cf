#pragma once
#include "serial/IMainThreadExecutor.h"
#include "serial/TTaskQueue.h"
#include "system/TWakeUpEvent.h"

#include <functional>
#include <memory>

class QSocketNotifier;

// Runs the serial component's notifications on the thread that created the executor (the GUI
// thread), in the order they were posted. Must outlive every component that posts to it.
// The hand-over is TTaskQueue's; an eventfd, watched by the GUI thread's event loop, only wakes
// it up.
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

    TTaskQueue fQueue;
    TWakeUpEvent fWakeUp; // raised while a wake-up is pending
    std::unique_ptr<QSocketNotifier> fWakeUpNotifier;
};
