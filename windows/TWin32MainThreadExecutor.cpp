#include "windows/TWin32MainThreadExecutor.h"

#include "system/Win32Error.h"

namespace {

constexpr UINT RunQueuedMessage = WM_APP + 1;
constexpr wchar_t ClassName[] = L"TarvelMainThreadExecutor";

} // namespace

TWin32MainThreadExecutor::TWin32MainThreadExecutor()
{
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = ClassName;
    ::RegisterClassExW(&windowClass); // fails harmlessly when a second executor registers again
    fWindow = ::CreateWindowExW(0, ClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                windowClass.hInstance, this);
    if (fWindow == nullptr) throw Win32Error("CreateWindowExW");
}

TWin32MainThreadExecutor::~TWin32MainThreadExecutor()
{
    ::DestroyWindow(fWindow);
}

void TWin32MainThreadExecutor::Post(std::function<void()> task)
{
    bool wasEmpty;
    {
        std::lock_guard lock(fMutex);
        wasEmpty = fQueue.empty();
        fQueue.push_back(std::move(task));
    }
    // A non-empty queue already has a wake-up on its way, or is being run.
    if (wasEmpty) ::PostMessageW(fWindow, RunQueuedMessage, 0, 0);
}

LRESULT CALLBACK TWin32MainThreadExecutor::WindowProc(HWND window, UINT message, WPARAM w, LPARAM l)
{
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(l);
        ::SetWindowLongPtrW(window, GWLP_USERDATA,
                            reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self =
        reinterpret_cast<TWin32MainThreadExecutor*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == RunQueuedMessage && self != nullptr) {
        self->RunQueued();
        return 0;
    }
    return ::DefWindowProcW(window, message, w, l);
}

void TWin32MainThreadExecutor::RunQueued()
{
    // One task at a time. Before a task runs, a wake-up is posted again while others wait, so
    // that a task running a nested message loop (a modal box, the transfer's waits) has them run
    // inside it, still in posting order.
    for (;;) {
        std::function<void()> task;
        bool moreQueued;
        {
            std::lock_guard lock(fMutex);
            if (fQueue.empty()) return;
            task = std::move(fQueue.front());
            fQueue.pop_front();
            moreQueued = !fQueue.empty();
        }
        if (moreQueued) ::PostMessageW(fWindow, RunQueuedMessage, 0, 0);
        try {
            task();
        } catch (const std::exception& error) {
            if (ReportError) ReportError(error);
        }
        if (moreQueued) return; // the posted wake-up runs the rest
    }
}
