#include "system/TDeviceWatch.h"

#include "system/Win32Error.h"

#include <windows.h>

#include <dbt.h>

#include <mutex>
#include <utility>

namespace {

constexpr wchar_t kWindowClass[] = L"TarvelDeviceWatch";
// GUID_DEVINTERFACE_COMPORT (ntddser.h, which needs kernel types and INITGUID to define it).
constexpr GUID kComPortInterface{
    0x86e0d1e0, 0x8089, 0x11d0, {0x9c, 0xe4, 0x08, 0x00, 0x3e, 0x30, 0x1f, 0x73}};

LRESULT CALLBACK NotifyWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

void RegisterWindowClass()
{
    static std::once_flag once;
    static DWORD failure = 0;
    std::call_once(once, [] {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = NotifyWindowProcedure;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kWindowClass;
        if (::RegisterClassExW(&windowClass) == 0) failure = ::GetLastError();
    });
    if (failure != 0) {
        ::SetLastError(failure);
        throw Win32Error("RegisterClassEx");
    }
}

} // namespace

// A message-only window that the system tells of every COM port's arrival and removal; changed()
// runs on the thread that made it, from its message loop.
class TDeviceNotifyWindow
{
public:
    explicit TDeviceNotifyWindow(std::function<void()> changed) : fChanged(std::move(changed))
    {
        RegisterWindowClass();
        fWindow = ::CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    ::GetModuleHandleW(nullptr), this);
        if (fWindow == nullptr) throw Win32Error("CreateWindowEx");
        DEV_BROADCAST_DEVICEINTERFACE_W filter{};
        filter.dbcc_size = sizeof filter;
        filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        filter.dbcc_classguid = kComPortInterface;
        fNotification =
            ::RegisterDeviceNotificationW(fWindow, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
        if (fNotification == nullptr) {
            const std::system_error error = Win32Error("RegisterDeviceNotification");
            ::DestroyWindow(fWindow);
            throw error;
        }
    }
    ~TDeviceNotifyWindow()
    {
        ::UnregisterDeviceNotification(fNotification);
        ::DestroyWindow(fWindow);
    }
    TDeviceNotifyWindow(const TDeviceNotifyWindow&) = delete;
    TDeviceNotifyWindow& operator=(const TDeviceNotifyWindow&) = delete;

    HWND Handle() const { return fWindow; }

    static LRESULT Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_NCCREATE) {
            const auto* creation = reinterpret_cast<const CREATESTRUCTW*>(lParam);
            ::SetWindowLongPtrW(window, GWLP_USERDATA,
                                reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
        }
        auto* self =
            reinterpret_cast<TDeviceNotifyWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        // Arrival and removal of a port come registered; DBT_DEVNODES_CHANGED is what any
        // change of the device tree says. What changed is not read: holds() looks anew.
        if (message != WM_DEVICECHANGE || self == nullptr)
            return ::DefWindowProcW(window, message, wParam, lParam);
        if (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE ||
            wParam == DBT_DEVNODES_CHANGED) {
            // A copy: changed() may end the watch, and this window with it.
            const std::function<void()> changed = self->fChanged;
            changed();
        }
        return TRUE;
    }

private:
    std::function<void()> fChanged;
    HWND fWindow = nullptr;
    HDEVNOTIFY fNotification = nullptr;
};

namespace {

LRESULT CALLBACK NotifyWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return TDeviceNotifyWindow::Procedure(window, message, wParam, lParam);
}

// While a window is made, Window() tells it.
class TShownWindow
{
public:
    TShownWindow(std::atomic<void*>& shown, HWND window) : fShown(shown) { fShown = window; }
    ~TShownWindow() { fShown = nullptr; }
    TShownWindow(const TShownWindow&) = delete;
    TShownWindow& operator=(const TShownWindow&) = delete;

private:
    std::atomic<void*>& fShown;
};

} // namespace

TDeviceWatch::TDeviceWatch()
{
    // A system without device notifications says so now, not at the first wait.
    TDeviceNotifyWindow probe([] {});
}

TDeviceWatch::~TDeviceWatch() = default;

bool TDeviceWatch::WaitUntil(const std::function<bool()>& holds, const std::string&)
{
    // Watching first, then looking: a change in between waits in this thread's queue.
    bool changed = false;
    TDeviceNotifyWindow window([&changed] { changed = true; });
    const TShownWindow shown(fWindow, window.Handle());
    const HANDLE stop = fStop.Handle();
    for (;;) {
        changed = false;
        if (holds()) return true;
        while (!changed) {
            const DWORD woke = ::MsgWaitForMultipleObjects(1, &stop, FALSE, INFINITE, QS_ALLINPUT);
            if (woke == WAIT_OBJECT_0) return false;
            if (woke == WAIT_FAILED) throw Win32Error("MsgWaitForMultipleObjects");
            MSG message;
            while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                if (message.message == WM_QUIT) { // for the thread's own loop, after this wait
                    ::PostQuitMessage(static_cast<int>(message.wParam));
                    return false;
                }
                ::TranslateMessage(&message);
                ::DispatchMessageW(&message);
            }
        }
    }
}

void TDeviceWatch::Watch(const std::string&, std::function<void()> changed)
{
    fWindow = nullptr;
    fLoopWindow.reset();
    fLoopWindow = std::make_unique<TDeviceNotifyWindow>(std::move(changed));
    fWindow = fLoopWindow->Handle();
}

void* TDeviceWatch::Window() const
{
    return fWindow;
}

void TDeviceWatch::Stop()
{
    fStop.Raise();
}
