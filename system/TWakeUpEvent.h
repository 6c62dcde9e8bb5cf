#pragma once

#ifndef _WIN32
#include "system/TFileDescriptor.h"
#endif

// Raised by one thread to end another's wait: stop requests, queued work. On Linux an eventfd
// (raising is async-signal-safe, so a signal handler may use it too); on Windows a manual-reset
// event object. Raised stays raised until Clear.
class TWakeUpEvent
{
public:
    TWakeUpEvent(); // throws std::system_error when the system has no descriptor or handle left
    ~TWakeUpEvent();
    TWakeUpEvent(const TWakeUpEvent&) = delete;
    TWakeUpEvent& operator=(const TWakeUpEvent&) = delete;

#ifdef _WIN32
    // Signalled from Raise until Clear, for WaitForMultipleObjects.
    void* Handle() const
    {
        return fEvent;
    }
#else
    // Readable (POLLIN) from Raise until Clear.
    int Descriptor() const
    {
        return fEvent.Get();
    }
#endif
    void Raise() const noexcept;
    void Clear() const noexcept;
    // Blocks until raised or timeoutMs passes (negative: no limit); whether it was raised.
    bool Wait(int timeoutMs) const;

private:
#ifdef _WIN32
    void* fEvent;
#else
    TFileDescriptor fEvent;
#endif
};
