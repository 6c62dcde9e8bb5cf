#include "app/EventLoopDelay.h"

#include "app/MillisecondTick.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <optional>

#include <cerrno>
#include <cstdint>
#include <ctime>
#include <stdexcept>
#include <sys/timerfd.h>
#include <unistd.h>

namespace {

// Wakes the event loop at an exact point of the monotonic clock. A QTimer only counts
// whole milliseconds from now, so waiting for the tick to advance by 1 would take between
// 1 and 2 ms; the tick actually advances at the next millisecond boundary.
class TBoundaryWakeUp
{
public:
    TBoundaryWakeUp() : Fd(::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC))
    {
        if (Fd < 0) throw std::runtime_error("timerfd_create failed");
        Notifier.emplace(Fd, QSocketNotifier::Read);
        QObject::connect(&*Notifier, &QSocketNotifier::activated, [this] { Drain(); });
    }
    ~TBoundaryWakeUp()
    {
        Notifier.reset();
        ::close(Fd);
    }
    TBoundaryWakeUp(const TBoundaryWakeUp&) = delete;
    TBoundaryWakeUp& operator=(const TBoundaryWakeUp&) = delete;

    // Arms the wake-up for the moment the millisecond counter will have moved on by ms.
    void ArmInMilliseconds(std::uint32_t ms)
    {
        timespec now{};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        const std::int64_t currentMs =
            static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
        const std::int64_t atMs = currentMs + ms;
        itimerspec at{};
        at.it_value.tv_sec = static_cast<time_t>(atMs / 1000);
        at.it_value.tv_nsec = static_cast<long>(atMs % 1000) * 1000000;
        ::timerfd_settime(Fd, TFD_TIMER_ABSTIME, &at, nullptr);
    }

private:
    void Drain()
    {
        std::uint64_t expirations = 0;
        while (::read(Fd, &expirations, sizeof expirations) < 0 && errno == EINTR) {
        }
    }

    int Fd;
    std::optional<QSocketNotifier> Notifier;
};

} // namespace

void ProcessEventsFor(std::uint32_t ms, const std::function<std::uint32_t()>& tick)
{
    const std::uint32_t start = tick();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (TickAdvance(start, tick()) >= ms) return;
    TBoundaryWakeUp wakeUp;
    for (;;) {
        const std::uint32_t advance = TickAdvance(start, tick());
        if (advance >= ms) return;
        wakeUp.ArmInMilliseconds(ms - advance);
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
}
