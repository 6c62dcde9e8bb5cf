#include "app/EventLoopDelay.h"
#include "system/ErrnoError.h"

#include "session/MillisecondTick.h"
#include "system/TFileDescriptor.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>

#include <cerrno>
#include <cstdint>
#include <ctime>
#include <sys/timerfd.h>
#include <system_error>
#include <unistd.h>

namespace {

// Wakes the event loop at an exact point of the monotonic clock. A QTimer only counts
// whole milliseconds from now, so waiting for the tick to advance by 1 would take between
// 1 and 2 ms; the tick actually advances at the next millisecond boundary.
class TBoundaryWakeUp : public QObject
{
public:
    explicit TBoundaryWakeUp(QObject* parent)
        : QObject(parent), fFd(::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC))
    {
        if (!fFd.Valid()) throw ErrnoError("Cannot make a timer");
        fNotifier = new QSocketNotifier(fFd.Get(), QSocketNotifier::Read, this);
        connect(fNotifier, &QSocketNotifier::activated, this, [this] { Drain(); });
    }
    ~TBoundaryWakeUp() override
    {
        delete fNotifier; // before the descriptor it watches
    }
    TBoundaryWakeUp(const TBoundaryWakeUp&) = delete;
    TBoundaryWakeUp& operator=(const TBoundaryWakeUp&) = delete;

    // Arms the wake-up for the moment the millisecond counter will have moved on by ms.
    // Every wait arms it again just before it blocks, so a nested wait that re-armed it
    // only makes the outer one wake early and look at the counter once more.
    void ArmInMilliseconds(std::uint32_t ms)
    {
        timespec now{};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        const std::int64_t atMs =
            static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000 + ms;
        itimerspec at{};
        at.it_value.tv_sec = static_cast<time_t>(atMs / 1000);
        at.it_value.tv_nsec = static_cast<long>(atMs % 1000) * 1000000;
        ::timerfd_settime(fFd.Get(), TFD_TIMER_ABSTIME, &at, nullptr);
    }

    // One per application, made on first use: the waits of a transfer come a thousand
    // times a second, too often to open and register a descriptor each time.
    static TBoundaryWakeUp& ForApplication()
    {
        static QPointer<TBoundaryWakeUp> instance;
        if (!instance) instance = new TBoundaryWakeUp(QCoreApplication::instance());
        return *instance;
    }

private:
    void Drain()
    {
        std::uint64_t expirations = 0;
        while (::read(fFd.Get(), &expirations, sizeof expirations) < 0 && errno == EINTR) {
        }
    }

    TFileDescriptor fFd;
    QSocketNotifier* fNotifier = nullptr;
};

} // namespace

void ProcessEventsFor(std::uint32_t ms, const std::function<std::uint32_t()>& tick)
{
    const std::uint32_t start = tick();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (TickAdvance(start, tick()) >= ms) return;
    TBoundaryWakeUp& wakeUp = TBoundaryWakeUp::ForApplication();
    for (;;) {
        const std::uint32_t advance = TickAdvance(start, tick());
        if (advance >= ms) return;
        wakeUp.ArmInMilliseconds(ms - advance);
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
}
