#pragma once

#include "serial/TDeviceControlBlock.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <system_error>
#include <utility>

class TWakeUpEvent;

// How a call of the device layer went.
enum class TIoStatus {
    Ok,          // the call did what was asked; the result holds its value
    WouldBlock,  // a non-blocking transfer could move nothing now; try when the port is ready
    Unsupported, // the device has no such thing (no modem lines, counters, low-latency mode)
    Failed,      // the system refused; for a transfer the device is gone (hang-up, I/O error)
};

struct TNoValue
{
};

// Why a call of the device layer gave no value; converts to the result of any call.
struct TDeviceFailure
{
    TIoStatus Status = TIoStatus::Failed;
    // errno (on Windows, the errno a GetLastError code matches); 0 when the system said nothing,
    // or said what no errno value says.
    int Error = 0;
    // The system's own code when no errno value says it (on Windows, in Win32Category()), so
    // that its text can be shown; empty otherwise.
    std::error_code SystemError{};
};

inline TDeviceFailure DeviceFailed(int error)
{
    return {TIoStatus::Failed, error};
}
inline TDeviceFailure DeviceUnsupported()
{
    return {TIoStatus::Unsupported, 0};
}
inline TDeviceFailure DeviceWouldBlock()
{
    return {TIoStatus::WouldBlock, 0};
}

// What every call of the device layer and its backends gives back: the value, or the status
// and the system's code that say why there is none. Reads like std::optional.
template <typename T = TNoValue> struct TDeviceResult
{
    TDeviceResult() = default;
    TDeviceResult(T value) : Value(std::move(value)) {}
    TDeviceResult(TDeviceFailure failure)
        : Status(failure.Status), Error(failure.Error), SystemError(failure.SystemError)
    {
    }

    bool Ok() const { return Status == TIoStatus::Ok; }
    explicit operator bool() const { return Ok(); }
    const T& operator*() const { return Value; }
    const T* operator->() const { return &Value; }
    T ValueOr(T fallback) const { return Ok() ? Value : fallback; }
    // Why there is no value, to pass on as the result of another call.
    TDeviceFailure Failure() const { return {Status, Error, SystemError}; }
    friend bool operator==(const TDeviceResult& result, const T& value)
    {
        return result.Ok() && result.Value == value;
    }

    T Value{};
    TIoStatus Status = TIoStatus::Ok;
    int Error = 0;
    std::error_code SystemError{};
};

// A transfer: the bytes moved (0 for an empty request).
using TIoResult = TDeviceResult<size_t>;

// What ended one wait of the communication thread; all false: the time-out passed.
struct TPortWait
{
    bool Woken = false;    // the wake-up event was raised
    bool Readable = false; // bytes (or a line error) wait to be looked at
    bool Writable = false; // output was asked about, and the device takes some now
    bool Lost = false;     // the device is gone
};

// Cumulative line-error counters of the driver; the thread turns their growth into CE_ flags.
struct TLineErrorCounters
{
    uint32_t Frame = 0;
    uint32_t Overrun = 0;
    uint32_t Parity = 0;
    uint32_t Break = 0;
    uint32_t BufferOverrun = 0;
};

// One open serial device. Everything the component and its communication thread need from
// the operating system goes through here, so tests can put a fake in its place.
// Methods may be called from the main thread and the communication thread at the same time;
// implementations must be safe for that.
class ISerialDevice
{
public:
    virtual ~ISerialDevice() = default;

    // Line state. A rejected request is not Ok (the component ignores that).
    virtual TDeviceResult<TDeviceControlBlock> GetState() = 0;
    virtual TDeviceResult<> SetState(const TDeviceControlBlock& state) = 0;
    virtual TDeviceResult<> SetQueueSizes(uint32_t rxSize, uint32_t txSize) = 0;
    virtual TDeviceResult<> SetEventMask(uint32_t mask) = 0;

    // Non-blocking transfers: never wait for the line.
    virtual TIoResult Read(std::span<std::byte> buffer) = 0;
    virtual TIoResult Write(std::span<const std::byte> data) = 0;

    // Bytes received and waiting in the driver; not Ok when the query fails (device gone).
    virtual TDeviceResult<uint32_t> BytesWaiting() = 0;
    // Bytes still in the driver's output queue; not Ok when unknown.
    virtual TDeviceResult<uint32_t> OutputQueued() = 0;
    // Bytes the way to the device may hold that OutputQueued does not count: a pseudo-terminal's
    // buffer, which its peer empties at its own pace, or an adapter's FIFO.
    virtual uint32_t UncountedOutputBytes() { return 0; }
    // Whether the transmitter has shifted out its last bit; not Ok when unknown.
    virtual TDeviceResult<bool> TransmitterEmpty() = 0;

    virtual TDeviceResult<> Purge(uint32_t flags) = 0;

    // Asks the driver to pass received bytes on at once (many USB adapters otherwise hold them
    // up to 16 ms). Unsupported when the driver has no such mode, which is not an error.
    virtual TDeviceResult<> EnterLowLatency() = 0;
    // Puts back what EnterLowLatency changed; nothing when it changed nothing.
    virtual void LeaveLowLatency() = 0;

    // MS_ bits; Unsupported when the device has no modem lines.
    virtual TDeviceResult<uint32_t> ModemStatus() = 0;
    // Unsupported when the device keeps no error counters.
    virtual TDeviceResult<TLineErrorCounters> ErrorCounters() = 0;

    // Blocks until one of the lines in msMask (MS_CTS_ON / MS_DSR_ON) differs from
    // `knownStatus` (returning at once if it does already). Not Ok when the device cannot
    // report changes, fails, or InterruptModemWait was called; Ok after a change (or a
    // spurious wake-up).
    virtual TDeviceResult<> WaitModemChange(uint32_t msMask, uint32_t knownStatus) = 0;
    // Ends a WaitModemChange in progress on another thread and makes later calls return false.
    virtual void InterruptModemWait() = 0;

    // Blocks until `wake` is raised, bytes arrive, the device takes output (if wantWrite), the
    // device is gone, or timeoutMs passes (negative: no limit). Only the communication thread
    // waits. Throws std::system_error when the wait itself fails.
    virtual TPortWait Wait(const TWakeUpEvent& wake, bool wantWrite, int timeoutMs) = 0;
};
