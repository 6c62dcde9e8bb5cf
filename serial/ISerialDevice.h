#pragma once

#include "serial/TDeviceControlBlock.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

class TWakeUpEvent;

// Outcome of a non-blocking transfer.
enum class TIoStatus {
    Ok,         // Count bytes moved (Count may be 0 for an empty request)
    WouldBlock, // nothing could move now; try again when the port is ready
    Lost,       // the device is gone (hang-up, I/O error)
};

struct TIoResult
{
    size_t Count = 0;
    TIoStatus Status = TIoStatus::Ok;
};

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

    // Line state. false: the device rejected the request (the component ignores that).
    virtual bool GetState(TDeviceControlBlock& state) = 0;
    virtual bool SetState(const TDeviceControlBlock& state) = 0;
    virtual bool SetQueueSizes(uint32_t rxSize, uint32_t txSize) = 0;
    virtual bool SetEventMask(uint32_t mask) = 0;

    // Non-blocking transfers: never wait for the line.
    virtual TIoResult Read(std::span<std::byte> buffer) = 0;
    virtual TIoResult Write(std::span<const std::byte> data) = 0;

    // Bytes received and waiting in the driver; nullopt when the query fails (device gone).
    virtual std::optional<uint32_t> BytesWaiting() = 0;
    // Bytes still in the driver's output queue; nullopt when unknown.
    virtual std::optional<uint32_t> OutputQueued() = 0;
    // Bytes the way to the device may hold that OutputQueued does not count: a pseudo-terminal's
    // buffer, which its peer empties at its own pace, or an adapter's FIFO.
    virtual uint32_t UncountedOutputBytes() { return 0; }
    // Whether the transmitter has shifted out its last bit; nullopt when unknown.
    virtual std::optional<bool> TransmitterEmpty() = 0;

    virtual bool Purge(uint32_t flags) = 0;

    // Asks the driver to pass received bytes on at once (many USB adapters otherwise hold them
    // up to 16 ms). false when the driver has no such mode, which is not an error.
    virtual bool EnterLowLatency() = 0;
    // Puts back what EnterLowLatency changed; nothing when it changed nothing.
    virtual void LeaveLowLatency() = 0;

    // MS_ bits; nullopt when the device has no modem lines.
    virtual std::optional<uint32_t> ModemStatus() = 0;
    // nullopt when the device keeps no error counters.
    virtual std::optional<TLineErrorCounters> ErrorCounters() = 0;

    // Blocks until one of the lines in msMask (MS_CTS_ON / MS_DSR_ON) differs from
    // `knownStatus` (returning at once if it does already). Returns false when the device
    // cannot report changes, fails, or InterruptModemWait was called; true after a change
    // (or a spurious wake-up).
    virtual bool WaitModemChange(uint32_t msMask, uint32_t knownStatus) = 0;
    // Ends a WaitModemChange in progress on another thread and makes later calls return false.
    virtual void InterruptModemWait() = 0;

    // Blocks until `wake` is raised, bytes arrive, the device takes output (if wantWrite), the
    // device is gone, or timeoutMs passes (negative: no limit). Only the communication thread
    // waits. Throws std::system_error when the wait itself fails.
    virtual TPortWait Wait(const TWakeUpEvent& wake, bool wantWrite, int timeoutMs) = 0;
};
