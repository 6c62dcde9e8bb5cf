#include "tests/app/EventLoopWait.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>

bool WaitUntil(const std::function<bool()>& predicate, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    // The wake-up timer bounds each blocking wait, so the deadline is seen even when idle.
    QTimer wake;
    wake.start(20);
    while (!predicate()) {
        if (deadline.hasExpired()) return predicate();
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}
