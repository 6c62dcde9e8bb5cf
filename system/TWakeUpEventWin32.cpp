#include "system/TWakeUpEvent.h"

#include "system/Win32Error.h"

#include <windows.h>

TWakeUpEvent::TWakeUpEvent() : fEvent(::CreateEventW(nullptr, TRUE, FALSE, nullptr))
{
    if (fEvent == nullptr) throw Win32Error("CreateEvent");
}

TWakeUpEvent::~TWakeUpEvent()
{
    ::CloseHandle(fEvent);
}

void TWakeUpEvent::Raise() const noexcept
{
    ::SetEvent(fEvent);
}

void TWakeUpEvent::Clear() const noexcept
{
    ::ResetEvent(fEvent);
}

bool TWakeUpEvent::Wait(int timeoutMs) const
{
    const DWORD result =
        ::WaitForSingleObject(fEvent, timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs));
    if (result == WAIT_FAILED) throw Win32Error("WaitForSingleObject");
    return result == WAIT_OBJECT_0;
}
