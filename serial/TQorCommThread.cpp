#include "serial/TQorCommThread.h"

#include "serial/SerialConstants.h"
#include "serial/TMainThreadNotifier.h"
#include "serial/TReceivePolicy.h"
#include "serial/TTransmitQueue.h"

#include <algorithm>
#include <system_error>
#include <utility>

namespace {

// While output is pending the device's queue is checked at growing intervals up to this.
constexpr int kMaxDrainCheckMs = 50;
// A terminal only reports readable-without-data when it has hung up; after this many such
// wake-ups in a row the device is taken as lost rather than spinning.
constexpr int kMaxEmptyWakeups = 100;

uint32_t Grown(uint32_t now, uint32_t before)
{
    return now - before; // counters wrap like the kernel's
}

} // namespace

TQorCommThread::TQorCommThread(const TReceivePolicy& receive, ISerialDevice& device,
                               TMainThreadNotifier& notifier, TTransmitQueue& transmitQueue,
                               uint32_t eventMask)
    : fReceive(receive), fDevice(device), fNotifier(notifier), fTransmitQueue(transmitQueue),
      fEventMask(eventMask)
{
}

TQorCommThread::~TQorCommThread()
{
    RequestStop();
    Join();
}

void TQorCommThread::Start()
{
    // Errors counted before the port was opened are not this session's. Without EV_ERR nobody
    // hears of errors, so the counters are never asked for.
    if (fEventMask & EV_ERR) fLastCounters = fDevice.ErrorCounters();
    fThread = std::thread([this] { Execute(); });
}

void TQorCommThread::RequestStop()
{
    fStopRequested.store(true);
    Wake();
}

void TQorCommThread::Join()
{
    if (fThread.joinable()) fThread.join();
}

void TQorCommThread::Wake()
{
    fWake.Raise();
}

void TQorCommThread::Consumed(uint32_t n)
{
    uint32_t current = fPending.load();
    while (!fPending.compare_exchange_weak(current, current - std::min(current, n))) {
    }
}

uint32_t TQorCommThread::TakeModemEvents()
{
    std::lock_guard lock(fModemMutex);
    return std::exchange(fModemEvents, 0u);
}

void TQorCommThread::Execute()
{
    try {
        // Lines that are on at start are reported once, whatever the event mask says.
        const auto status = fDevice.ModemStatus();
        if (status && *status != 0) {
            uint32_t events = 0;
            if (*status & MS_CTS_ON) events |= EV_CTS;
            if (*status & MS_DSR_ON) events |= EV_DSR;
            HandleEvents(events, false, fDevice.BytesWaiting());
        }

        if ((fEventMask & (EV_CTS | EV_DSR)) && status)
            fModemWatcher = std::thread([this, reported = *status] { WatchModemLines(reported); });

        int drainCheckMs = 1;
        uint64_t drainGeneration = 0;
        int emptyWakeups = 0;
        while (!fStopRequested.load()) {
            int timeout = -1;
            // The driver's queue is looked at only for someone who wants to know it emptied.
            const bool reportEmpty = fReceive.HasSentHandler();
            const bool wantWrite = !fDeviceLost && fTransmitQueue.HasQueued();
            if (!fDeviceLost && !wantWrite && reportEmpty && fTransmitQueue.AwaitingEmpty())
                timeout = drainCheckMs;
            TPortWait seen;
            if (fDeviceLost)
                seen.Woken = fWake.Wait(-1); // only the stop request is left to wait for
            else
                seen = fDevice.Wait(fWake, wantWrite, timeout);
            if (seen.Woken) fWake.Clear();
            if (fStopRequested.load()) break;
            const bool timedOut = !seen.Woken && !seen.Readable && !seen.Writable && !seen.Lost;

            uint32_t events = TakeModemEvents();
            bool lost = false;
            if (!fDeviceLost) {
                if (seen.Lost) lost = true;
                if (seen.Readable) events |= EV_RXCHAR;
                if (seen.Writable) {
                    if (fTransmitQueue.Drain(fDevice) == TTransmitQueue::TDrainResult::Lost)
                        lost = true;
                }
                if (auto generation = fTransmitQueue.AwaitingEmpty();
                    generation && !lost && reportEmpty) {
                    if (*generation != drainGeneration) {
                        drainGeneration = *generation; // new output: check soon again
                        drainCheckMs = 1;
                    }
                    if (OutputDrained()) {
                        if (fTransmitQueue.ClearAwaitingEmpty(*generation)) events |= EV_TXEMPTY;
                        drainCheckMs = 1;
                    } else if (timedOut) {
                        drainCheckMs = std::min(drainCheckMs * 2, kMaxDrainCheckMs);
                    }
                }
            }
            if (events == 0 && !lost) continue;
            // Asked once per wake-up: the count serves both the hang-up test and the offer.
            const TDeviceResult<uint32_t> waiting = fDevice.BytesWaiting();
            if (seen.Readable && !lost) {
                if (waiting && *waiting == 0) {
                    if (++emptyWakeups >= kMaxEmptyWakeups) lost = true;
                } else {
                    emptyWakeups = 0;
                }
            }
            HandleEvents(events, lost, waiting);
        }
    } catch (const std::exception& e) {
        ReportFailure(e.what());
    } catch (...) { // whatever ends the thread must reach the owner as a lost device
        ReportFailure("unknown error");
    }
    StopModemWatcher();
    fNotifier.WorkerEnded();
}

std::string TQorCommThread::Failure() const
{
    std::lock_guard lock(fFailureMutex);
    return fFailure;
}

void TQorCommThread::ReportFailure(std::string reason) noexcept
{
    // Reception has stopped: the port is as good as lost, and is reported so, once, so that the
    // window does not go on showing a connection that nothing serves.
    {
        std::lock_guard lock(fFailureMutex);
        fFailure = std::move(reason);
    }
    fTransmitQueue.Discard();
    if (fDeviceLost) return;
    fDeviceLost = true;
    try {
        fNotifier.Post({TNotificationKind::Error, CE_DEVICE_LOST});
    } catch (...) {
        // Nothing is left to report through; Close still completes.
    }
}

uint32_t TQorCommThread::TakeErrorFlags()
{
    if (!fLastCounters) return 0;
    const auto now = fDevice.ErrorCounters();
    if (!now) return 0;
    uint32_t flags = 0;
    if (Grown(now->BufferOverrun, fLastCounters->BufferOverrun)) flags |= CE_RXOVER;
    if (Grown(now->Overrun, fLastCounters->Overrun)) flags |= CE_OVERRUN;
    if (Grown(now->Parity, fLastCounters->Parity)) flags |= CE_RXPARITY;
    if (Grown(now->Frame, fLastCounters->Frame)) flags |= CE_FRAME;
    if (Grown(now->Break, fLastCounters->Break)) flags |= CE_BREAK;
    fLastCounters = now;
    return flags;
}

bool TQorCommThread::OutputDrained()
{
    if (auto queued = fDevice.OutputQueued(); queued && *queued > 0) return false;
    if (auto empty = fDevice.TransmitterEmpty(); empty && !*empty) return false;
    return true;
}

void TQorCommThread::HandleEvents(uint32_t events, bool lost, TDeviceResult<uint32_t> waiting)
{
    // Only what someone listens to is asked of the driver: each ioctl is time on the way to the
    // data-available handler.
    const uint32_t modemStatus =
        (events & (EV_CTS | EV_DSR)) ? fDevice.ModemStatus().ValueOr(0) : 0;
    const uint32_t errors = TakeErrorFlags(); // nothing unless EV_ERR is in the mask
    if (!waiting) lost = true;
    if (!waiting && waiting.SystemError) fReadLostCause = waiting.SystemError;
    if (lost && waiting && *waiting > 0)
        events |= EV_RXCHAR; // deliver what arrived before the device went away

    if ((events & EV_RXCHAR) && waiting) {
        fPending.store(*waiting);
        if (*waiting > 0) {
            if (!fReceive.HasDataHandler()) {
                fDevice.Purge(PURGE_RXABORT | PURGE_RXCLEAR);
                fPending.store(0);
            } else if (fReceive.Buffered()) {
                ReadBuffered();
            } else {
                while (fPending.load() > 0) {
                    if (!Offer(fPending.load()) || !fReceive.HasDataHandler()) break;
                }
            }
        }
    }
    if (events & EV_TXEMPTY) fNotifier.Post({TNotificationKind::DataSent, 0});
    if (events & EV_CTS) fNotifier.Post({TNotificationKind::CtsChanged, modemStatus});
    if (events & EV_DSR) fNotifier.Post({TNotificationKind::DsrChanged, modemStatus});
    if (errors != 0) fNotifier.Post({TNotificationKind::Error, errors});

    if (lost && !fDeviceLost) {
        // Stop using the descriptor: from now on only the stop request is waited for.
        fDeviceLost = true;
        // A cause only the system's own text says is kept for whoever tells the loss.
        const std::error_code writeCause = fTransmitQueue.LostCause();
        if (fReadLostCause || writeCause) {
            std::lock_guard lock(fFailureMutex);
            if (fFailure.empty())
                fFailure = fReadLostCause ? "Cannot read from the port: " + fReadLostCause.message()
                                          : "Cannot write to the port: " + writeCause.message();
        }
        fTransmitQueue.Discard();
        StopModemWatcher();
        fNotifier.Post({TNotificationKind::Error, CE_DEVICE_LOST});
    }
}

bool TQorCommThread::Offer(uint32_t pending)
{
    if (fStopRequested.load()) return false;
    fPending.store(pending);
    return fNotifier.Send({TNotificationKind::DataAvailable, 0}) && !fStopRequested.load();
}

void TQorCommThread::ReadBuffered()
{
    const uint32_t waiting = fPending.load();
    bool lost = false;
    const size_t stored = fBuffer.Store(waiting, [&](std::span<std::byte> free) {
        const TIoResult io = fDevice.Read(free);
        lost = io.Status == TIoStatus::Failed;
        if (io.SystemError) fReadLostCause = io.SystemError;
        return io.Value;
    });
    Consumed(static_cast<uint32_t>(stored));
    if (lost) fPending.store(0);
    if (!fReceive.HasDataHandler()) return; // the bytes stay in the buffer

    if (!fReceive.LineMode()) {
        // Threshold mode: fixed-size chunks while enough unread bytes remain. An amount
        // below 1 would offer nothing for ever; one byte is the smallest chunk.
        while (true) {
            const size_t amount = static_cast<size_t>(std::max(1, fReceive.ThresholdAmount()));
            if (fBuffer.Unread() < amount) break;
            if (!Offer(static_cast<uint32_t>(amount)) || !fReceive.HasDataHandler()) break;
        }
        return;
    }

    // Line mode: one whole line per offer, repeated until the handler has read all of it.
    while (true) {
        const auto line = fBuffer.FindLine(fReceive.LineEnd());
        if (!line) break;
        for (;;) {
            const size_t remainder = fBuffer.LineRemainder();
            if (remainder == 0) break;
            if (!Offer(static_cast<uint32_t>(remainder)) || !fReceive.HasDataHandler())
                return; // what was offered stays offered (Close gives it to a new handler)
        }
        fPending.store(0);
        if (fBuffer.Empty()) break;
    }
}

void TQorCommThread::WatchModemLines(uint32_t reported)
{
    uint32_t watched = 0;
    if (fEventMask & EV_CTS) watched |= MS_CTS_ON;
    if (fEventMask & EV_DSR) watched |= MS_DSR_ON;
    // The kernel's wait only sees changes after it starts, so the lines are compared with
    // what was last reported before every wait: a change in between is not missed.
    do {
        const auto now = fDevice.ModemStatus();
        if (!now) return;
        const uint32_t changed = (*now ^ reported) & watched;
        reported = *now;
        uint32_t events = 0;
        if (changed & MS_CTS_ON) events |= EV_CTS;
        if (changed & MS_DSR_ON) events |= EV_DSR;
        if (events != 0) {
            {
                std::lock_guard lock(fModemMutex);
                fModemEvents |= events;
            }
            Wake();
        }
    } while (fDevice.WaitModemChange(watched, reported));
}

void TQorCommThread::StopModemWatcher()
{
    if (fModemWatcher.joinable()) {
        fDevice.InterruptModemWait();
        fModemWatcher.join();
    }
}
