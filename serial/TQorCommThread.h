#pragma once

#include "serial/ISerialDevice.h"
#include "serial/TQorCommBuffer.h"
#include "system/TWakeUpEvent.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <system_error>
#include <thread>

class TReceivePolicy;
class TMainThreadNotifier;
class TTransmitQueue;

// Waits for events of one open port: received bytes, an empty transmit queue, CTS/DSR
// changes, line errors, a lost device, or the request to stop. Received bytes are offered
// to the main thread through the synchronous data-available notification; the rest is
// posted. While idle it blocks in one wait on the device without time-out.
class TQorCommThread
{
public:
    TQorCommThread(const TReceivePolicy& receive, ISerialDevice& device,
                   TMainThreadNotifier& notifier, TTransmitQueue& transmitQueue,
                   uint32_t eventMask);
    // Stops and joins if that has not happened yet.
    ~TQorCommThread();
    TQorCommThread(const TQorCommThread&) = delete;
    TQorCommThread& operator=(const TQorCommThread&) = delete;

    void Start(); // throws std::system_error when no thread can be created
    void RequestStop();
    void Join();
    // Wakes the thread to look at the transmit queue.
    void Wake();

    uint32_t Pending() const { return fPending.load(); }
    // The reader took n of the offered bytes.
    void Consumed(uint32_t n);
    void DropPending() { fPending.store(0); }
    TQorCommBuffer& Buffer() { return fBuffer; }
    // Why Execute had to end on its own; empty otherwise. Any thread.
    std::string Failure() const;

private:
    void Execute();
    // waiting: the receive count the driver gave for this wake-up (nullopt: the device is gone).
    void HandleEvents(uint32_t events, bool lost, TDeviceResult<uint32_t> waiting);
    void ReadBuffered();
    // Sets Pending and runs the data-available handler on the main thread. false: stop offering.
    bool Offer(uint32_t pending);
    uint32_t TakeErrorFlags();
    bool OutputDrained();
    void WatchModemLines(uint32_t reported);
    void StopModemWatcher();
    uint32_t TakeModemEvents();

    const TReceivePolicy& fReceive;
    ISerialDevice& fDevice;
    TMainThreadNotifier& fNotifier;
    TTransmitQueue& fTransmitQueue;
    const uint32_t fEventMask;

    TWakeUpEvent fWake; // stop request, queued output, modem-line change
    std::atomic<bool> fStopRequested = false;
    std::atomic<uint32_t> fPending = 0;
    TQorCommBuffer fBuffer;
    TDeviceResult<TLineErrorCounters> fLastCounters = DeviceUnsupported();
    bool fDeviceLost = false;
    // What the system said of a failed read, when no errno value says it.
    std::error_code fReadLostCause;
    void ReportFailure(std::string reason) noexcept;
    mutable std::mutex fFailureMutex;
    std::string fFailure;

    std::mutex fModemMutex;
    uint32_t fModemEvents = 0; // EV_CTS / EV_DSR seen by the watcher, not yet handled
    std::thread fModemWatcher;

    std::thread fThread;
};
