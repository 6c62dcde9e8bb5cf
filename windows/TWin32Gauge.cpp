#include "windows/TWin32Gauge.h"

#include "widgets/GaugePercent.h"

#include <algorithm>
#include <string>

namespace {

void Fill(HDC dc, int left, int top, int right, int bottom, COLORREF colour)
{
    if (right <= left || bottom <= top) return;
    const RECT box{left, top, right, bottom};
    TGdiObject brush(::CreateSolidBrush(colour));
    ::FillRect(dc, &box, static_cast<HBRUSH>(brush.Get()));
}

} // namespace

void TWin32Gauge::Create(HWND parent, RECT place, int id)
{
    CreateOwnWindow(L"TGauge", 0, WS_CHILD | WS_VISIBLE, L"", place, parent, id);
}

int TWin32Gauge::Percent() const
{
    return ToPercent(std::int64_t{fProgress} - fMinValue, std::int64_t{fMaxValue} - fMinValue);
}

void TWin32Gauge::SetProgress(int progress)
{
    const int before = Percent();
    progress = progress < fMinValue ? fMinValue : progress > fMaxValue ? fMaxValue : progress;
    if (progress == fProgress) return;
    fProgress = progress;
    if (Percent() != before) RepaintNow();
}

void TWin32Gauge::SetKind(TWin32GaugeKind kind)
{
    if (kind == fKind) return;
    fKind = kind;
    RepaintNow();
}

void TWin32Gauge::SetFont(HFONT font)
{
    fFont = font;
    RepaintNow();
}

void TWin32Gauge::RepaintNow()
{
    if (Handle() == nullptr) return;
    ::InvalidateRect(Handle(), nullptr, FALSE); // opaque: nothing is erased behind it
    ::UpdateWindow(Handle());
}

void TWin32Gauge::DrawFigure(HDC dc, RECT r, int width) const
{
    const int W = r.right - r.left + 1, H = r.bottom - r.top + 1;
    switch (fKind) {
    case TWin32GaugeKind::Text:
        Fill(dc, r.left, r.top, r.right, r.bottom, fBackColor);
        return;
    case TWin32GaugeKind::HorizontalBar: {
        Fill(dc, r.left, r.top, r.right, r.bottom, fBackColor);
        const int S = std::min(ScalePercent(Percent(), W), W);
        // Right and bottom are S and H themselves, not offsets from the left and top.
        if (S > 0) Fill(dc, r.left, r.top, S, H, fForeColor);
        return;
    }
    case TWin32GaugeKind::VerticalBar: {
        Fill(dc, r.left, r.top, r.right, r.bottom, fBackColor);
        int S = ScalePercent(Percent(), H);
        if (S >= H) S = H - 1;
        Fill(dc, r.left, H - S, W, H, fForeColor);
        return;
    }
    case TWin32GaugeKind::Pie:
    case TWin32GaugeKind::Needle:
        break;
    }
    // The dials: one pixel larger each way inside a border, on the control's own colour.
    const int DW = r.right - r.left + (fBorder ? 1 : 0), DH = r.bottom - r.top + (fBorder ? 1 : 0);
    Fill(dc, r.left, r.top, r.right, r.bottom, ::GetSysColor(COLOR_BTNFACE));
    TGdiObject back(::CreateSolidBrush(fBackColor)), fore(::CreateSolidBrush(fForeColor));
    TGdiObject pen(::CreatePen(PS_SOLID, 1, fForeColor));
    TSelected withPen(dc, pen.Get());
    if (fKind == TWin32GaugeKind::Pie) {
        {
            TSelected withBrush(dc, back.Get());
            ::Ellipse(dc, r.left, r.top, DW, DH);
        }
        if (Percent() > 0) {
            TSelected withBrush(dc, fore.Get());
            const TGaugePoint start = PieStartPoint(Percent(), DW / 2, DH / 2);
            ::Pie(dc, r.left, r.top, DW, DH, start.X, start.Y, DW / 2, 0);
        }
        return;
    }
    {
        // The upper half of an ellipse twice as high as the gauge: a dial on the bottom edge.
        TSelected withBrush(dc, back.Get());
        ::Pie(dc, r.left, r.top, DW, 2 * DH - 1, r.left + DW, r.bottom - 1, r.left, r.bottom - 1);
    }
    ::MoveToEx(dc, r.left, r.bottom, nullptr);
    ::LineTo(dc, r.left + DW, r.bottom);
    if (Percent() > 0) {
        const int MX = width / 2;
        const TGaugePoint tip = NeedleTip(Percent(), MX, r.bottom);
        ::MoveToEx(dc, MX, r.bottom - 1, nullptr);
        ::LineTo(dc, tip.X, tip.Y);
    }
}

void TWin32Gauge::DrawText(HDC dc, RECT r, int width, int height) const
{
    if (r.right <= r.left || r.bottom <= r.top) return; // no room inside the border
    TOffScreen text(dc, width, height);
    Fill(text.Dc(), 0, 0, width, height, RGB(0, 0, 0));
    const HFONT font =
        fFont != nullptr ? fFont : static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
    // Glyphs must be pure white so that XOR inverts them exactly: no smoothing.
    LOGFONTW plain{};
    ::GetObjectW(font, sizeof plain, &plain);
    plain.lfQuality = NONANTIALIASED_QUALITY;
    TGdiObject exact(::CreateFontIndirectW(&plain));
    TSelected withFont(text.Dc(), exact.Get());
    ::SetBkMode(text.Dc(), TRANSPARENT);
    ::SetTextColor(text.Dc(), RGB(255, 255, 255));
    const std::wstring s = std::to_wstring(Percent()) + L"%";
    SIZE extent{};
    ::GetTextExtentPoint32W(text.Dc(), s.c_str(), static_cast<int>(s.size()), &extent);
    // Absolute coordinates: the rectangle's left and top are deliberately not added.
    const int x = (r.right - r.left + 1 - extent.cx) / 2;
    const int y = (r.bottom - r.top + 1 - extent.cy) / 2;
    ::ExtTextOutW(text.Dc(), x, y, ETO_CLIPPED, &r, s.c_str(), static_cast<UINT>(s.size()),
                  nullptr);
    ::BitBlt(dc, 0, 0, width, height, text.Dc(), 0, 0, SRCINVERT);
}

void TWin32Gauge::Render(HDC dc, int width, int height) const
{
    Fill(dc, 0, 0, width, height, RGB(0, 0, 0));
    RECT r{0, 0, width, height};
    if (fBorder) r = RECT{1, 1, width - 1, height - 1};
    {
        TOffScreen figure(dc, width, height);
        Fill(figure.Dc(), 0, 0, width, height, RGB(0, 0, 0));
        DrawFigure(figure.Dc(), r, width);
        ::BitBlt(dc, 0, 0, width, height, figure.Dc(), 0, 0, SRCINVERT);
    }
    if (fShowText) DrawText(dc, r, width, height);
}

LRESULT TWin32Gauge::HandleMessage(UINT message, WPARAM w, LPARAM l)
{
    switch (message) {
    case WM_ERASEBKGND:
        return 1; // opaque: the paint covers every pixel
    case WM_PAINT: {
        PAINTSTRUCT paint;
        const HDC dc = ::BeginPaint(Handle(), &paint);
        RECT client;
        ::GetClientRect(Handle(), &client);
        TOffScreen picture(dc, client.right, client.bottom);
        Render(picture.Dc(), client.right, client.bottom);
        ::BitBlt(dc, 0, 0, client.right, client.bottom, picture.Dc(), 0, 0, SRCCOPY);
        ::EndPaint(Handle(), &paint);
        return 0;
    }
    default:
        return TWin32Window::HandleMessage(message, w, l);
    }
}
