#include "app/QtMainThreadExecutor.h"

#include "app/TErrorReport.h"

#include <QSocketNotifier>

QtMainThreadExecutor::QtMainThreadExecutor()
{
    WakeUpNotifier = std::make_unique<QSocketNotifier>(WakeUp.Descriptor(), QSocketNotifier::Read);
    QObject::connect(WakeUpNotifier.get(), &QSocketNotifier::activated, [this] { RunQueued(); });
}

QtMainThreadExecutor::~QtMainThreadExecutor() = default;

void QtMainThreadExecutor::Post(std::function<void()> task)
{
    bool wasEmpty;
    {
        std::lock_guard lock(Mutex);
        wasEmpty = Queue.empty();
        Queue.push_back(std::move(task));
    }
    // A non-empty queue already has a wake-up on its way, or is being run.
    if (wasEmpty) WakeUp.Raise();
}

void QtMainThreadExecutor::RunQueued()
{
    WakeUp.Clear();
    // One task at a time. Before a task runs, the wake-up is raised again while others wait,
    // so that a task running a nested event loop (a modal box, the transfer's waits) has them
    // run inside it, still in posting order.
    for (;;) {
        std::function<void()> task;
        bool moreQueued;
        {
            std::lock_guard lock(Mutex);
            if (Queue.empty()) return;
            task = std::move(Queue.front());
            Queue.pop_front();
            moreQueued = !Queue.empty();
        }
        if (moreQueued) WakeUp.Raise();
        // Errors are reported here rather than unwinding through Qt's event dispatch.
        TErrorReport::Guard(task);
    }
}
