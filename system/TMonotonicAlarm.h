#pragma once
// A descriptor that becomes readable at a chosen point of the monotonic clock (a timerfd), for
// an event loop that waits on descriptors and must wake on a millisecond boundary.

#include "system/TFileDescriptor.h"

#include <cstdint>

class TMonotonicAlarm
{
public:
    TMonotonicAlarm(); // throws std::system_error with the cause

    int Descriptor() const { return fFd.Get(); }
    // Readable once the millisecond counter has moved on by ms; replaces an earlier arming.
    void ArmInMilliseconds(std::uint32_t ms);
    // Takes the expiry so that the descriptor is quiet until armed again.
    void Drain();

private:
    TFileDescriptor fFd;
};
