#pragma once

#include "serial/ISerialDevice.h"

#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <span>
#include <system_error>
#include <vector>

// Bytes written to the port that the kernel did not take at once. The main thread adds to
// it, the communication thread drains it as the port accepts output; one mutex keeps the
// bytes in call order.
class TTransmitQueue
{
public:
    struct TWriteResult
    {
        size_t Immediate = 0;    // bytes the kernel took during the call
        bool WakeWorker = false; // the communication thread has new work
    };

    // Writes what the device takes now (only when nothing is queued ahead) and queues the rest.
    TWriteResult Write(ISerialDevice& device, std::span<const std::byte> data);

    enum class TDrainResult { Empty, MoreQueued, Lost };
    // Hands queued bytes to the device until it takes no more.
    TDrainResult Drain(ISerialDevice& device);

    bool HasQueued() const;
    size_t QueuedBytes() const;
    // Output went to the device since the last "transmit queue empty" report and nothing
    // is queued any more: the write generation to check the device's queue against.
    std::optional<uint64_t> AwaitingEmpty() const;
    // Ends the wait for "empty" unless another write came after `generation`.
    bool ClearAwaitingEmpty(uint64_t generation);
    // Drops what is queued (a cancelled transfer); later writes are queued as before.
    void Purge();
    // The device is gone: drop everything, accept nothing more.
    void Discard();
    // Discard() was called: writes can no longer reach the device.
    bool Discarded() const;
    // What the system said of a write that failed, when no errno value says it; empty otherwise.
    std::error_code LostCause() const;

private:
    mutable std::mutex fMutex;
    std::deque<std::vector<std::byte>> fChunks;
    size_t fFrontOffset = 0; // bytes of fChunks.front() already written
    size_t fQueuedBytes = 0;
    bool fAwaitingEmpty = false;
    uint64_t fGeneration = 0;
    bool fDiscarding = false;
    std::error_code fLostCause;
};
