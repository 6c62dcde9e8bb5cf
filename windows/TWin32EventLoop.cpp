#include "windows/TWin32EventLoop.h"

#include "session/MillisecondTick.h"

#include <utility>

namespace {

std::function<bool(MSG&)>& PreTranslate()
{
    static std::function<bool(MSG&)> preTranslate;
    return preTranslate;
}

bool quitting = false;
int quitCode = 0;

void Dispatch(MSG& message)
{
    if (PreTranslate() && PreTranslate()(message)) return;
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
}

} // namespace

void TWin32EventLoop::SetPreTranslate(std::function<bool(MSG&)> preTranslate)
{
    PreTranslate() = std::move(preTranslate);
}

bool TWin32EventLoop::Quitting()
{
    return quitting;
}

int TWin32EventLoop::Run()
{
    MSG message;
    while (!quitting && ::GetMessageW(&message, nullptr, 0, 0) > 0)
        Dispatch(message);
    if (!quitting) quitCode = static_cast<int>(message.wParam);
    quitting = true;
    return quitCode;
}

void TWin32EventLoop::DispatchWaiting()
{
    MSG message;
    while (!quitting && ::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            quitting = true;
            quitCode = static_cast<int>(message.wParam);
            return;
        }
        Dispatch(message);
    }
}

void TWin32EventLoop::Delay(std::uint32_t ms, const std::function<std::uint32_t()>& tick)
{
    const std::uint32_t start = tick();
    DispatchWaiting();
    for (;;) {
        const std::uint32_t advance = TickAdvance(start, tick());
        if (advance >= ms || quitting) return;
        ::MsgWaitForMultipleObjectsEx(0, nullptr, ms - advance, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        DispatchWaiting();
    }
}

void TWin32EventLoop::HandleNextMessages()
{
    if (quitting) return;
    ::MsgWaitForMultipleObjectsEx(0, nullptr, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    DispatchWaiting();
}
