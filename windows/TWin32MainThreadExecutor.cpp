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
    if (fQueue.Push(std::move(task))) ::PostMessageW(fWindow, RunQueuedMessage, 0, 0);
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
    fQueue.RunEach([this] { ::PostMessageW(fWindow, RunQueuedMessage, 0, 0); },
                   [this](const TTaskQueue::TTask& task) {
                       try {
                           task();
                       } catch (const std::exception& error) {
                           if (ReportError) ReportError(error);
                       }
                   });
}
