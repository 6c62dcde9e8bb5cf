#pragma once

#include "system/TFileDescriptor.h"

// A counter another thread raises to end a wait in poll(): stop requests, queued work. One
// eventfd; raising is async-signal-safe, so a signal handler may use it too.
class TWakeUpEvent
{
public:
    TWakeUpEvent(); // throws std::system_error when the system has no descriptor left
    TWakeUpEvent(const TWakeUpEvent&) = delete;
    TWakeUpEvent& operator=(const TWakeUpEvent&) = delete;

    // Readable (POLLIN) from Raise until Clear.
    int Descriptor() const { return fEvent.Get(); }
    void Raise() const noexcept;
    void Clear() const noexcept;

private:
    TFileDescriptor fEvent;
};
