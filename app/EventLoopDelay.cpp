#include "app/EventLoopDelay.h"

#include "session/MillisecondTick.h"
#include "system/TMonotonicAlarm.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>

#include <cstdint>

namespace {

// Wakes the event loop at an exact point of the monotonic clock. A QTimer only counts
// whole milliseconds from now, so waiting for the tick to advance by 1 would take between
// 1 and 2 ms; the tick actually advances at the next millisecond boundary.
class TBoundaryWakeUp : public QObject
{
public:
    explicit TBoundaryWakeUp(QObject* parent)
        : QObject(parent),
          fNotifier(new QSocketNotifier(fAlarm.Descriptor(), QSocketNotifier::Read, this))
    {
        connect(fNotifier, &QSocketNotifier::activated, this, [this] { fAlarm.Drain(); });
    }
    ~TBoundaryWakeUp() override
    {
        delete fNotifier; // before the descriptor it watches
    }
    TBoundaryWakeUp(const TBoundaryWakeUp&) = delete;
    TBoundaryWakeUp& operator=(const TBoundaryWakeUp&) = delete;

    // Every wait arms it again just before it blocks, so a nested wait that re-armed it
    // only makes the outer one wake early and look at the counter once more.
    void ArmInMilliseconds(std::uint32_t ms) { fAlarm.ArmInMilliseconds(ms); }

    // One per application, made on first use: the waits of a transfer come a thousand
    // times a second, too often to open and register a descriptor each time.
    static TBoundaryWakeUp& ForApplication()
    {
        static QPointer<TBoundaryWakeUp> instance;
        if (!instance) instance = new TBoundaryWakeUp(QCoreApplication::instance());
        return *instance;
    }

private:
    TMonotonicAlarm fAlarm;
    QSocketNotifier* fNotifier;
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
