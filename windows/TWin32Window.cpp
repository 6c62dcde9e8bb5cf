#include "windows/TWin32Window.h"

#include "system/Win32Error.h"

TWin32Window::~TWin32Window()
{
    if (fWindow != nullptr) {
        ::SetWindowLongPtrW(fWindow, GWLP_USERDATA, 0); // no more messages for this object
        ::DestroyWindow(fWindow);
    }
}

void TWin32Window::CreateOwnWindow(const wchar_t* className, DWORD exStyle, DWORD style,
                                   const wchar_t* title, RECT place, HWND parent, int id,
                                   HBRUSH background)
{
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    if (!::GetClassInfoExW(instance, className, &windowClass)) {
        windowClass = WNDCLASSEXW{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.style = CS_DBLCLKS;
        windowClass.lpfnWndProc = WindowProc;
        windowClass.hInstance = instance;
        windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        windowClass.hbrBackground = background;
        windowClass.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(1));
        windowClass.lpszClassName = className;
        if (::RegisterClassExW(&windowClass) == 0) throw Win32Error("RegisterClassExW");
    }
    const HMENU menuOrId = (style & WS_CHILD) != 0 ? reinterpret_cast<HMENU>(INT_PTR(id)) : nullptr;
    fWindow = ::CreateWindowExW(exStyle, className, title, style, place.left, place.top,
                                place.right - place.left, place.bottom - place.top, parent,
                                menuOrId, instance, this);
    if (fWindow == nullptr) throw Win32Error("CreateWindowExW");
}

LRESULT TWin32Window::HandleMessage(UINT message, WPARAM w, LPARAM l)
{
    return ::DefWindowProcW(fWindow, message, w, l);
}

LRESULT CALLBACK TWin32Window::WindowProc(HWND window, UINT message, WPARAM w, LPARAM l)
{
    if (message == WM_NCCREATE) {
        auto* self =
            static_cast<TWin32Window*>(reinterpret_cast<const CREATESTRUCTW*>(l)->lpCreateParams);
        self->fWindow = window;
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<TWin32Window*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr) return ::DefWindowProcW(window, message, w, l);
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        self->fWindow = nullptr;
        return ::DefWindowProcW(window, message, w, l);
    }
    return self->HandleMessage(message, w, l);
}

TOffScreen::TOffScreen(HDC like, int width, int height)
    : fDc(::CreateCompatibleDC(like)),
      fBitmap(::CreateCompatibleBitmap(like, width > 0 ? width : 1, height > 0 ? height : 1)),
      fPrevious(::SelectObject(fDc, fBitmap.Get()))
{
}

TOffScreen::~TOffScreen()
{
    ::SelectObject(fDc, fPrevious);
    ::DeleteDC(fDc);
}
