#include "app/QtMainThreadExecutor.h"

#include "app/TErrorReport.h"

#include <QSocketNotifier>

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

QtMainThreadExecutor::QtMainThreadExecutor() : WakeUp(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
{
    if (!WakeUp.Valid()) throw std::system_error(errno, std::generic_category(), "eventfd");
    WakeUpNotifier = std::make_unique<QSocketNotifier>(WakeUp.Get(), QSocketNotifier::Read);
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
    if (wasEmpty) RaiseWakeUp();
}

void QtMainThreadExecutor::RunQueued()
{
    uint64_t count;
    [[maybe_unused]] const ssize_t read = ::read(WakeUp.Get(), &count, sizeof count);
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
        if (moreQueued) RaiseWakeUp();
        // Errors are reported here rather than unwinding through Qt's event dispatch.
        TErrorReport::Guard(task);
    }
}

void QtMainThreadExecutor::RaiseWakeUp()
{
    const uint64_t one = 1;
    // Cannot fail short of a counter overflow, which the reads in RunQueued rule out.
    [[maybe_unused]] const ssize_t written = ::write(WakeUp.Get(), &one, sizeof one);
}
