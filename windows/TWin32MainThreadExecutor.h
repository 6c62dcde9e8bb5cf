#pragma once
#include "serial/IMainThreadExecutor.h"

#include <windows.h>

#include <deque>
#include <functional>
#include <mutex>

// Runs the serial component's notifications on the thread that created the executor (the
// window's thread), in the order they were posted, through a hidden message-only window.
//
// The hand-over is this class's own: a task is queued under fMutex by the posting thread and taken
// out under fMutex by the window's thread, so everything the poster wrote before Post is visible
// to the task. The posted message only wakes the window's thread up.
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
    std::mutex fMutex;
    std::deque<std::function<void()>> fQueue; // guarded by fMutex
};
