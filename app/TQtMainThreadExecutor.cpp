#include "app/TQtMainThreadExecutor.h"

#include "app/TErrorReport.h"

#include <QSocketNotifier>

TQtMainThreadExecutor::TQtMainThreadExecutor()
{
    fWakeUpNotifier =
        std::make_unique<QSocketNotifier>(fWakeUp.Descriptor(), QSocketNotifier::Read);
    QObject::connect(fWakeUpNotifier.get(), &QSocketNotifier::activated, [this] { RunQueued(); });
}

TQtMainThreadExecutor::~TQtMainThreadExecutor() = default;

void TQtMainThreadExecutor::Post(std::function<void()> task)
{
    bool wasEmpty;
    {
        std::lock_guard lock(fMutex);
        wasEmpty = fQueue.empty();
        fQueue.push_back(std::move(task));
    }
    // A non-empty queue already has a wake-up on its way, or is being run.
    if (wasEmpty) fWakeUp.Raise();
}

void TQtMainThreadExecutor::RunQueued()
{
    fWakeUp.Clear();
    // One task at a time. Before a task runs, the wake-up is raised again while others wait,
    // so that a task running a nested event loop (a modal box, the transfer's waits) has them
    // run inside it, still in posting order.
    for (;;) {
        std::function<void()> task;
        bool moreQueued;
        {
            std::lock_guard lock(fMutex);
            if (fQueue.empty()) return;
            task = std::move(fQueue.front());
            fQueue.pop_front();
            moreQueued = !fQueue.empty();
        }
        if (moreQueued) fWakeUp.Raise();
        // Errors are reported here rather than unwinding through Qt's event dispatch.
        TErrorReport::Guard(task);
    }
}
