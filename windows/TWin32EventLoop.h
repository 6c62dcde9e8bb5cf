#pragma once
// The window thread's message loop, and the waits that run it: a delay that handles messages
// until a number of milliseconds have passed, and a wait until something has happened. Both
// sleep in MsgWaitForMultipleObjectsEx between messages; nothing spins.

#include <windows.h>

#include <cstdint>
#include <functional>

class TWin32EventLoop
{
public:
    // Called with every message before it is dispatched; true when it has been handled (keys the
    // window takes itself, dialog navigation).
    static void SetPreTranslate(std::function<bool(MSG&)> preTranslate);

    // Until WM_QUIT; returns its exit code.
    static int Run();
    // Handles messages until tick() has advanced by ms.
    static void Delay(std::uint32_t ms, const std::function<std::uint32_t()>& tick);
    // Sleeps until a message comes, then handles every message waiting.
    static void HandleNextMessages();
    // Whether WM_QUIT has been seen (a nested wait leaves it for the outermost loop).
    static bool Quitting();

private:
    static void DispatchWaiting();
};
