#include "app/QtMainThreadExecutor.h"

#include "app/TErrorReport.h"

void QtMainThreadExecutor::Post(std::function<void()> task)
{
    // Errors are reported here rather than unwinding through Qt's event dispatch.
    QMetaObject::invokeMethod(
        &Context, [task = std::move(task)] { TErrorReport::Guard(task); }, Qt::QueuedConnection);
}
