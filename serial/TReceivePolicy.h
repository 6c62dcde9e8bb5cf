#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <string_view>

// The receive settings that the communication thread reads while the main thread may change
// them: how received bytes are offered (plainly, a line at a time, in fixed-size chunks) and who
// listens. The port owns one and the thread holds it by reference; nothing else of the port is
// shared between the two threads, except the transmit queue.
class TReceivePolicy
{
public:
    std::string LineEnd() const
    {
        std::lock_guard lock(fLineEndMutex);
        return fLineEnd;
    }
    void SetLineEnd(std::string_view value)
    {
        std::lock_guard lock(fLineEndMutex);
        fLineEnd = value;
    }
    bool LineMode() const { return fLineMode.load(); }
    void SetLineMode(bool value) { fLineMode.store(value); }
    bool ThresholdUse() const { return fThresholdUse.load(); }
    void SetThresholdUse(bool value) { fThresholdUse.store(value); }
    int ThresholdAmount() const { return fThresholdAmount.load(); }
    void SetThresholdAmount(int value) { fThresholdAmount.store(value); }
    // Line or threshold mode: bytes go through the receive buffer before they are offered.
    bool Buffered() const { return LineMode() || ThresholdUse(); }

    // Nobody listening for data: what arrives is purged rather than offered.
    bool HasDataHandler() const { return fHasDataHandler.load(); }
    void SetHasDataHandler(bool value) { fHasDataHandler.store(value); }
    // Nobody listening for DataSent: the driver's queue is not watched for emptying.
    bool HasSentHandler() const { return fHasSentHandler.load(); }
    void SetHasSentHandler(bool value) { fHasSentHandler.store(value); }

private:
    mutable std::mutex fLineEndMutex;
    std::string fLineEnd = "\r\n";
    std::atomic<bool> fLineMode = false;
    std::atomic<bool> fThresholdUse = false;
    std::atomic<int> fThresholdAmount = 0;
    std::atomic<bool> fHasDataHandler = false;
    std::atomic<bool> fHasSentHandler = false;
};
