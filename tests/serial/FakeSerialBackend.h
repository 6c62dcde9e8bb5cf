#pragma once

#include "serial/ISerialBackend.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

// One simulated port: what the component configured on it, what it wrote, and controls for
// tests to make bytes arrive, modem lines change, line errors occur or the device vanish.
// The communication thread's wait ends on its own wake-up event, which the port raises when
// bytes or an error arrive or the device vanishes, so no descriptor of the system's is needed.
class TWakeUpEvent;

class TFakePort
{
public:
    TFakePort();

    // --- what reached the port
    std::vector<TDeviceControlBlock> StatesWritten() const; // every successful SetState
    TDeviceControlBlock State() const;
    uint32_t RxQueueSize() const;
    uint32_t TxQueueSize() const;
    uint32_t EventMask() const;
    std::vector<uint32_t> Purges() const;
    std::string Written() const; // what reached the line
    size_t DriverQueued() const; // written, held in the driver's output queue (HoldOutput)
    bool LowLatency() const;
    bool IsOpen() const;
    int OpenCount() const;
    // How often the communication thread has (re)started its wait on the port. A count
    // above one seen inside a handler proves the thread finished handling that event.
    uint64_t WaitCount() const;
    bool WaitForWaitCountAbove(uint64_t count) const;
    // How often the modem lines or the error counters were asked for.
    uint64_t StatusQueries() const { return Locked(fStatusQueries); }

    // --- test controls
    void Receive(std::string_view bytes);
    void SetModemStatus(uint32_t status);
    void AddLineErrors(const TLineErrorCounters& delta);
    void HangUp();
    void ComeBack(); // a hung-up port may be opened again
    void SetHasModemLines(bool value);
    void SetHasErrorCounters(bool value);
    // While held, written bytes wait in the driver's output queue until ReleaseOutput passes
    // them on (a slow line); a transmit purge drops them.
    void HoldOutput(bool value);
    void ReleaseOutput(size_t bytes);
    void SetHasLowLatency(bool value);
    // The communication thread's next look at the port throws std::runtime_error(what).
    void ThrowInThread(std::string what);
    size_t BytesWaiting() const;

private:
    friend class TFakeSerialDevice;
    friend class TFakeSerialBackend;

    void SignalLocked();
    // A copy of a field taken under the port's lock, for the observers above.
    template <class T> T Locked(const T& field) const
    {
        std::lock_guard lock(fMutex);
        return field;
    }

    mutable std::mutex fMutex;
    std::condition_variable fModemChanged;
    TDeviceControlBlock fState;
    std::vector<TDeviceControlBlock> fStatesWritten;
    uint32_t fRxQueueSize = 0;
    uint32_t fTxQueueSize = 0;
    uint32_t fEventMask = 0;
    std::vector<uint32_t> fPurges;
    std::string fWritten;
    std::deque<char> fDriverQueue;
    bool fHoldingOutput = false;
    bool fHasLowLatency = true;
    bool fLowLatency = false;
    std::string fThrowInThread;
    std::deque<std::byte> fRx;
    bool fEventSignalled = false; // an error waits to be noticed
    mutable uint64_t fWaitCount = 0;
    mutable std::condition_variable fWaitCountChanged;
    const TWakeUpEvent* fWaiter = nullptr; // the waiting thread's wake-up, while it waits
    bool fHungUp = false;
    bool fOpen = false;
    int fOpenCount = 0;
    bool fHasModemLines = true;
    bool fHasErrorCounters = true;
    uint32_t fModemStatus = 0;
    uint64_t fStatusQueries = 0;
    uint64_t fModemGeneration = 0;
    TLineErrorCounters fCounters;
};

// Opens TFakePorts registered by path; recording everything the component does with them.
class TFakeSerialBackend final : public ISerialBackend
{
public:
    // Registers (or returns) the port behind `path`; opening an unregistered path fails.
    TFakePort& AddPort(const std::string& path);
    TDeviceResult<std::unique_ptr<ISerialDevice>> Open(const std::string& path) override;

private:
    std::map<std::string, std::shared_ptr<TFakePort>> fPorts;
};
