#include "windows/TWin32Led.h"

#include <algorithm>

namespace {

constexpr UINT_PTR FlashTimer = 1;

} // namespace

void TWin32Led::Create(HWND parent, RECT place, int id)
{
    CreateOwnWindow(L"TpelLed", 0, WS_CHILD | WS_VISIBLE, L"", place, parent, id,
                    ::GetSysColorBrush(COLOR_BTNFACE));
}

std::uint32_t TWin32Led::ShownColour() const
{
    if (!fFlashing) return fLedOn ? fOnColor : fOffColor;
    return fLedOn && fFlashPhase ? fOnColor : fOffColor;
}

void TWin32Led::SetOnColor(std::uint32_t colour)
{
    if (colour == fOnColor) return;
    fOnColor = colour;
    RepaintNow();
}

void TWin32Led::SetOffColor(std::uint32_t colour)
{
    if (colour == fOffColor) return;
    fOffColor = colour;
    RepaintNow();
}

void TWin32Led::SetLedOn(bool on)
{
    if (on == fLedOn) return;
    fLedOn = on;
    ApplyTimer();
    RepaintNow();
    if (OnChange) OnChange(*this);
}

void TWin32Led::SetFlashing(bool flashing)
{
    if (flashing == fFlashing) return;
    fFlashing = flashing;
    ApplyTimer();
}

void TWin32Led::SetFrequency(int ms)
{
    if (ms == fFrequency) return;
    fFrequency = ms;
    ApplyTimer();
}

void TWin32Led::ApplyTimer()
{
    if (Handle() == nullptr) return;
    // The flash runs while lit and flashing; a zero interval runs no timer.
    if (fLedOn && fFlashing && fFrequency > 0)
        ::SetTimer(Handle(), FlashTimer, static_cast<UINT>(fFrequency), nullptr);
    else
        ::KillTimer(Handle(), FlashTimer);
}

void TWin32Led::RepaintNow()
{
    if (Handle() == nullptr) return;
    ::InvalidateRect(Handle(), nullptr, TRUE);
    ::UpdateWindow(Handle());
}

void TWin32Led::Paint(HDC dc) const
{
    RECT r;
    ::GetClientRect(Handle(), &r);
    const int d = std::min(r.right - r.left, r.bottom - r.top) / 5;
    const COLORREF fill = ShownColour();
    {
        // The outline has the fill's colour: no rim.
        TGdiObject brush(::CreateSolidBrush(fill));
        TGdiObject pen(::CreatePen(PS_SOLID, 1, fill));
        TSelected b(dc, brush.Get()), p(dc, pen.Get());
        ::Ellipse(dc, r.left, r.top, r.right, r.bottom);
    }
    TGdiObject brush(::CreateSolidBrush(RGB(255, 255, 255)));
    TGdiObject pen(::CreatePen(PS_SOLID, 1, RGB(255, 255, 255)));
    TSelected b(dc, brush.Get()), p(dc, pen.Get());
    // The upper-left quarter of the inner ellipse, cut off by the line between its ends.
    ::Chord(dc, r.left + d, r.top + d, r.right - d, r.bottom - d, r.right / 2, r.top + d,
            r.left + d, r.bottom / 2);
}

LRESULT TWin32Led::HandleMessage(UINT message, WPARAM w, LPARAM l)
{
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        const HDC dc = ::BeginPaint(Handle(), &paint);
        Paint(dc);
        ::EndPaint(Handle(), &paint);
        return 0;
    }
    case WM_TIMER:
        if (w == FlashTimer && fLedOn) {
            fFlashPhase = !fFlashPhase;
            ::InvalidateRect(Handle(), nullptr, TRUE);
        }
        return 0;
    default:
        return TWin32Window::HandleMessage(message, w, l);
    }
}
