#pragma once
#include "serial/IMainThreadExecutor.h"
#include "serial/TTaskQueue.h"

#include <windows.h>

#include <functional>

// Runs the serial component's notifications on the thread that created the executor (the
// window's thread), in the order they were posted, through a hidden message-only window. The
// hand-over is TTaskQueue's; the posted message only wakes the window's thread up.
class TWin32MainThreadExecutor final : public IMainThreadExecutor
{
public:
    TWin32MainThreadExecutor();           // throws std::system_error
    ~TWin32MainThreadExecutor() override; // tasks still queued are dropped
    TWin32MainThreadExecutor(const TWin32MainThreadExecutor&) = delete;
    TWin32MainThreadExecutor& operator=(const TWin32MainThreadExecutor&) = delete;

    void Post(std::function<void()> task) override; // any thread

    // Reports an exception escaping a task; by default the window's error box.
    std::function<void(const std::exception&)> ReportError;

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM w, LPARAM l);
    void RunQueued(); // the window's thread

    HWND fWindow = nullptr;
    TTaskQueue fQueue;
};
