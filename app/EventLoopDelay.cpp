#include "app/EventLoopDelay.h"

#include "app/MillisecondTick.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QTimer>

void ProcessEventsFor(std::uint32_t ms, const std::function<std::uint32_t()>& tick)
{
    const std::uint32_t start = tick();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    // The timer only exists to wake the blocking wait below at the deadline.
    QTimer wakeUp;
    wakeUp.setSingleShot(true);
    wakeUp.setTimerType(Qt::PreciseTimer);
    for (;;) {
        const std::uint32_t advance = TickAdvance(start, tick());
        if (advance >= ms) return;
        const std::uint32_t remaining = ms - advance;
        wakeUp.start(static_cast<int>(std::min<std::uint32_t>(remaining, 0x7FFFFFFF)));
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
}
