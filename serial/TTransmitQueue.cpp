#include "serial/TTransmitQueue.h"

TTransmitQueue::TWriteResult TTransmitQueue::Write(ISerialDevice& device,
                                                   std::span<const std::byte> data)
{
    TWriteResult result;
    if (data.empty()) return result;
    std::lock_guard lock(fMutex);
    if (fDiscarding) return result;
    const bool wasAwaiting = fAwaitingEmpty;
    if (fChunks.empty()) {
        const TIoResult io = device.Write(data);
        if (io.Status == TIoStatus::Ok) result.Immediate = io.Value;
        if (io.SystemError) fLostCause = io.SystemError;
        // A lost device is noticed and reported by the communication thread; what is
        // queued here is dropped then.
    }
    const auto rest = data.subspan(result.Immediate);
    if (!rest.empty()) {
        const bool wasEmpty = fChunks.empty();
        fChunks.emplace_back(rest.begin(), rest.end());
        fQueuedBytes += rest.size();
        result.WakeWorker = wasEmpty;
    }
    fAwaitingEmpty = true;
    ++fGeneration;
    result.WakeWorker = result.WakeWorker || !wasAwaiting;
    return result;
}

TTransmitQueue::TDrainResult TTransmitQueue::Drain(ISerialDevice& device)
{
    std::lock_guard lock(fMutex);
    while (!fChunks.empty()) {
        auto& front = fChunks.front();
        const auto pending = std::span<const std::byte>(front).subspan(fFrontOffset);
        const TIoResult io = device.Write(pending);
        if (io.Status == TIoStatus::Failed) {
            if (io.SystemError) fLostCause = io.SystemError;
            return TDrainResult::Lost;
        }
        if (io.Status == TIoStatus::WouldBlock || io.Value == 0) return TDrainResult::MoreQueued;
        fFrontOffset += io.Value;
        fQueuedBytes -= io.Value;
        if (fFrontOffset == front.size()) {
            fChunks.pop_front();
            fFrontOffset = 0;
        }
    }
    return TDrainResult::Empty;
}

bool TTransmitQueue::HasQueued() const
{
    std::lock_guard lock(fMutex);
    return !fChunks.empty();
}

size_t TTransmitQueue::QueuedBytes() const
{
    std::lock_guard lock(fMutex);
    return fQueuedBytes;
}

std::optional<uint64_t> TTransmitQueue::AwaitingEmpty() const
{
    std::lock_guard lock(fMutex);
    if (!fAwaitingEmpty || !fChunks.empty()) return std::nullopt;
    return fGeneration;
}

bool TTransmitQueue::ClearAwaitingEmpty(uint64_t generation)
{
    std::lock_guard lock(fMutex);
    if (generation != fGeneration) return false;
    fAwaitingEmpty = false;
    return true;
}

void TTransmitQueue::Purge()
{
    std::lock_guard lock(fMutex);
    fChunks.clear();
    fFrontOffset = 0;
    fQueuedBytes = 0;
}

void TTransmitQueue::Discard()
{
    std::lock_guard lock(fMutex);
    fChunks.clear();
    fFrontOffset = 0;
    fQueuedBytes = 0;
    fAwaitingEmpty = false;
    fDiscarding = true;
}

bool TTransmitQueue::Discarded() const
{
    std::lock_guard lock(fMutex);
    return fDiscarding;
}

std::error_code TTransmitQueue::LostCause() const
{
    std::lock_guard lock(fMutex);
    return fLostCause;
}
