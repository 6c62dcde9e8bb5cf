#include "tests/serial/FakeSerialBackend.h"

#include "serial/SerialConstants.h"
#include "system/TWakeUpEvent.h"

#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <utility>

class TFakeSerialDevice final : public ISerialDevice
{
public:
    explicit TFakeSerialDevice(std::shared_ptr<TFakePort> port) : fPort(std::move(port)) {}
    ~TFakeSerialDevice() override
    {
        InterruptModemWait();
        std::lock_guard lock(fPort->fMutex);
        fPort->fOpen = false;
    }

    TDeviceResult<TDeviceControlBlock> GetState() override
    {
        std::lock_guard lock(fPort->fMutex);
        return fPort->fState;
    }
    TDeviceResult<> SetState(const TDeviceControlBlock& state) override
    {
        std::lock_guard lock(fPort->fMutex);
        fPort->fState = state;
        fPort->fStatesWritten.push_back(state);
        return {};
    }
    TDeviceResult<> SetQueueSizes(uint32_t rxSize, uint32_t txSize) override
    {
        std::lock_guard lock(fPort->fMutex);
        fPort->fRxQueueSize = rxSize;
        fPort->fTxQueueSize = txSize;
        return {};
    }
    TDeviceResult<> SetEventMask(uint32_t mask) override
    {
        std::lock_guard lock(fPort->fMutex);
        fPort->fEventMask = mask;
        return {};
    }
    TIoResult Read(std::span<std::byte> buffer) override
    {
        std::lock_guard lock(fPort->fMutex);
        if (fPort->fRx.empty()) return fPort->fHungUp ? DeviceFailed(EIO) : DeviceWouldBlock();
        size_t n = 0;
        while (n < buffer.size() && !fPort->fRx.empty()) {
            buffer[n++] = fPort->fRx.front();
            fPort->fRx.pop_front();
        }
        fPort->SignalLocked();
        return n;
    }
    TIoResult Write(std::span<const std::byte> data) override
    {
        std::lock_guard lock(fPort->fMutex);
        if (fPort->fHungUp) return DeviceFailed(EIO);
        for (std::byte b : data) {
            if (fPort->fHoldingOutput)
                fPort->fDriverQueue.push_back(static_cast<char>(b));
            else
                fPort->fWritten.push_back(static_cast<char>(b));
        }
        return data.size();
    }
    TDeviceResult<uint32_t> BytesWaiting() override
    {
        std::lock_guard lock(fPort->fMutex);
        if (!fPort->fThrowInThread.empty())
            throw std::runtime_error(std::exchange(fPort->fThrowInThread, std::string()));
        fPort->fEventSignalled = false;
        fPort->SignalLocked();
        return static_cast<uint32_t>(fPort->fRx.size());
    }
    TDeviceResult<uint32_t> OutputQueued() override
    {
        std::lock_guard lock(fPort->fMutex);
        return static_cast<uint32_t>(fPort->fDriverQueue.size());
    }
    TDeviceResult<bool> TransmitterEmpty() override { return DeviceUnsupported(); }
    TDeviceResult<> Purge(uint32_t flags) override
    {
        std::lock_guard lock(fPort->fMutex);
        fPort->fPurges.push_back(flags);
        if (flags & (PURGE_RXCLEAR | PURGE_RXABORT)) fPort->fRx.clear();
        if (flags & (PURGE_TXCLEAR | PURGE_TXABORT)) fPort->fDriverQueue.clear();
        fPort->SignalLocked();
        return {};
    }
    TDeviceResult<> EnterLowLatency() override
    {
        std::lock_guard lock(fPort->fMutex);
        if (!fPort->fHasLowLatency) return DeviceUnsupported();
        fPort->fLowLatency = true;
        return {};
    }
    void LeaveLowLatency() override
    {
        std::lock_guard lock(fPort->fMutex);
        fPort->fLowLatency = false;
    }
    TDeviceResult<uint32_t> ModemStatus() override
    {
        std::lock_guard lock(fPort->fMutex);
        ++fPort->fStatusQueries;
        if (!fPort->fHasModemLines) return DeviceUnsupported();
        return fPort->fModemStatus;
    }
    TDeviceResult<TLineErrorCounters> ErrorCounters() override
    {
        std::lock_guard lock(fPort->fMutex);
        ++fPort->fStatusQueries;
        if (!fPort->fHasErrorCounters) return DeviceUnsupported();
        return fPort->fCounters;
    }
    TDeviceResult<> WaitModemChange(uint32_t msMask, uint32_t knownStatus) override
    {
        std::unique_lock lock(fPort->fMutex);
        if (!fPort->fHasModemLines) return DeviceUnsupported();
        fPort->fModemChanged.wait(lock, [&] {
            return fInterrupted || fPort->fHungUp ||
                   ((fPort->fModemStatus ^ knownStatus) & msMask) != 0;
        });
        if (fInterrupted || fPort->fHungUp) return DeviceFailed(EINTR);
        return {};
    }
    void InterruptModemWait() override
    {
        std::lock_guard lock(fPort->fMutex);
        fInterrupted = true;
        fPort->fModemChanged.notify_all();
    }
    TPortWait Wait(const TWakeUpEvent& wake, bool wantWrite, int timeoutMs) override
    {
        {
            std::lock_guard lock(fPort->fMutex);
            ++fPort->fWaitCount;
            fPort->fWaitCountChanged.notify_all();
            if (const TPortWait ready = ReadyLocked(wantWrite);
                ready.Readable || ready.Writable || ready.Lost)
                return ready;
            fPort->fWaiter = &wake;
        }
        const bool woken = wake.Wait(timeoutMs); // raised by the thread's owner or by the port
        std::lock_guard lock(fPort->fMutex);
        fPort->fWaiter = nullptr;
        TPortWait seen = ReadyLocked(wantWrite);
        seen.Woken = woken;
        return seen;
    }

private:
    TPortWait ReadyLocked(bool wantWrite) const
    {
        return {.Readable = !fPort->fRx.empty() || fPort->fEventSignalled,
                .Writable = wantWrite && !fPort->fHungUp,
                .Lost = fPort->fHungUp};
    }

    std::shared_ptr<TFakePort> fPort;
    bool fInterrupted = false; // guarded by the port's mutex
};

TFakePort::TFakePort()
{
    fState.BaudRate = 1200; // something the component must overwrite
    fState.ByteSize = 7;
}

void TFakePort::SignalLocked()
{
    const bool ready = !fRx.empty() || fEventSignalled || fHungUp;
    if (ready && fWaiter != nullptr) fWaiter->Raise();
}

std::vector<TDeviceControlBlock> TFakePort::StatesWritten() const
{
    return Locked(fStatesWritten);
}

TDeviceControlBlock TFakePort::State() const
{
    return Locked(fState);
}

uint32_t TFakePort::RxQueueSize() const
{
    return Locked(fRxQueueSize);
}

uint32_t TFakePort::TxQueueSize() const
{
    return Locked(fTxQueueSize);
}

uint32_t TFakePort::EventMask() const
{
    return Locked(fEventMask);
}

std::vector<uint32_t> TFakePort::Purges() const
{
    return Locked(fPurges);
}

std::string TFakePort::Written() const
{
    return Locked(fWritten);
}

size_t TFakePort::DriverQueued() const
{
    std::lock_guard lock(fMutex);
    return fDriverQueue.size();
}

void TFakePort::HoldOutput(bool value)
{
    std::lock_guard lock(fMutex);
    fHoldingOutput = value;
}

void TFakePort::ReleaseOutput(size_t bytes)
{
    std::lock_guard lock(fMutex);
    for (; bytes > 0 && !fDriverQueue.empty(); --bytes) {
        fWritten.push_back(fDriverQueue.front());
        fDriverQueue.pop_front();
    }
}

bool TFakePort::LowLatency() const
{
    return Locked(fLowLatency);
}

void TFakePort::SetHasLowLatency(bool value)
{
    std::lock_guard lock(fMutex);
    fHasLowLatency = value;
}

void TFakePort::ThrowInThread(std::string what)
{
    std::lock_guard lock(fMutex);
    fThrowInThread = std::move(what);
    fEventSignalled = true; // wakes the thread, which then asks for the byte count
    SignalLocked();
}

bool TFakePort::IsOpen() const
{
    return Locked(fOpen);
}

int TFakePort::OpenCount() const
{
    return Locked(fOpenCount);
}

uint64_t TFakePort::WaitCount() const
{
    return Locked(fWaitCount);
}

bool TFakePort::WaitForWaitCountAbove(uint64_t count) const
{
    std::unique_lock lock(fMutex);
    return fWaitCountChanged.wait_for(lock, std::chrono::seconds(20),
                                      [&] { return fWaitCount > count; });
}

size_t TFakePort::BytesWaiting() const
{
    std::lock_guard lock(fMutex);
    return fRx.size();
}

void TFakePort::Receive(std::string_view bytes)
{
    std::lock_guard lock(fMutex);
    for (char c : bytes)
        fRx.push_back(static_cast<std::byte>(c));
    SignalLocked();
}

void TFakePort::SetModemStatus(uint32_t status)
{
    std::lock_guard lock(fMutex);
    fModemStatus = status;
    ++fModemGeneration;
    fModemChanged.notify_all();
}

void TFakePort::AddLineErrors(const TLineErrorCounters& delta)
{
    std::lock_guard lock(fMutex);
    fCounters.Frame += delta.Frame;
    fCounters.Overrun += delta.Overrun;
    fCounters.Parity += delta.Parity;
    fCounters.Break += delta.Break;
    fCounters.BufferOverrun += delta.BufferOverrun;
    fEventSignalled = true;
    SignalLocked();
}

void TFakePort::HangUp()
{
    std::lock_guard lock(fMutex);
    fHungUp = true;
    SignalLocked();
    fModemChanged.notify_all();
}

void TFakePort::ComeBack()
{
    std::lock_guard lock(fMutex);
    fHungUp = false;
}

void TFakePort::SetHasModemLines(bool value)
{
    std::lock_guard lock(fMutex);
    fHasModemLines = value;
}

void TFakePort::SetHasErrorCounters(bool value)
{
    std::lock_guard lock(fMutex);
    fHasErrorCounters = value;
}

TFakePort& TFakeSerialBackend::AddPort(const std::string& path)
{
    auto& port = fPorts[path];
    if (!port) port = std::make_shared<TFakePort>();
    return *port;
}

TDeviceResult<std::unique_ptr<ISerialDevice>> TFakeSerialBackend::Open(const std::string& path)
{
    const auto it = fPorts.find(path);
    if (it == fPorts.end()) return DeviceFailed(ENOENT);
    std::lock_guard lock(it->second->fMutex);
    if (it->second->fOpen || it->second->fHungUp) return DeviceFailed(EBUSY);
    it->second->fOpen = true;
    ++it->second->fOpenCount;
    return std::unique_ptr<ISerialDevice>(std::make_unique<TFakeSerialDevice>(it->second));
}
