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
    if (fQueue.Push(std::move(task))) fWakeUp.Raise();
}

void TQtMainThreadExecutor::RunQueued()
{
    fWakeUp.Clear();
    // Errors are reported here rather than unwinding through Qt's event dispatch.
    fQueue.RunEach([this] { fWakeUp.Raise(); },
                   [](const TTaskQueue::TTask& task) { TErrorReport::Guard(task); });
}
