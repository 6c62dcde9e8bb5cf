#pragma once

#include "serial/ISerialDevice.h"
#include "system/TFileDescriptor.h"

#include <condition_variable>
#include <mutex>
#include <optional>
#include <pthread.h>

// A terminal device opened by TPosixSerialBackend. Settings the kernel has no place for
// (XON/XOFF limits, DCB flag bits without a termios counterpart) are remembered here so the
// line state reads back as it was written.
class TPosixSerialDevice final : public ISerialDevice
{
public:
    // Takes an open, locked terminal descriptor already switched to raw mode.
    explicit TPosixSerialDevice(TFileDescriptor fd);
    ~TPosixSerialDevice() override;

    TDeviceResult<TDeviceControlBlock> GetState() override;
    TDeviceResult<> SetState(const TDeviceControlBlock& state) override;
    TDeviceResult<> SetQueueSizes(uint32_t rxSize, uint32_t txSize) override;
    TDeviceResult<> SetEventMask(uint32_t mask) override;
    TIoResult Read(std::span<std::byte> buffer) override;
    TIoResult Write(std::span<const std::byte> data) override;
    TDeviceResult<uint32_t> BytesWaiting() override;
    TDeviceResult<uint32_t> OutputQueued() override;
    uint32_t UncountedOutputBytes() override { return fUncountedOutput; }
    TDeviceResult<bool> TransmitterEmpty() override;
    TDeviceResult<> Purge(uint32_t flags) override;
    TDeviceResult<> EnterLowLatency() override;
    void LeaveLowLatency() override;
    TDeviceResult<uint32_t> ModemStatus() override;
    TDeviceResult<TLineErrorCounters> ErrorCounters() override;
    TDeviceResult<> WaitModemChange(uint32_t msMask, uint32_t knownStatus) override;
    void InterruptModemWait() override;
    TPortWait Wait(const TWakeUpEvent& wake, bool wantWrite, int timeoutMs) override;
    int Descriptor() const { return fFd.Get(); }

private:
    void ApplyModemLines(uint32_t flags);

    TFileDescriptor fFd;
    uint32_t fUncountedOutput = 0;
    std::mutex fStateMutex;
    TDeviceControlBlock fShadow;           // XonLim, XoffLim and Flags as last written
    std::optional<int> fSerialFlagsBefore; // the driver's flags before EnterLowLatency changed them

    // The modem-change wait blocks in the kernel; it is ended by a signal to its thread.
    std::mutex fWaitMutex;
    std::condition_variable fWaitEnded;
    std::optional<pthread_t> fWaiter;
    bool fWaitInterrupted = false;
};
