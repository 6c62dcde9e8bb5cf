#pragma once
// The gauge drawn with GDI: a bar, pie or needle composed off screen in black surroundings, the
// percentage XORed on (SRCINVERT) so it inverts what lies beneath, copied to the screen in one
// block. Progress repaints only when the whole percentage changes.

#include "windows/TWin32Window.h"

#include <cstdint>

enum class TWin32GaugeKind : std::uint8_t { Text, HorizontalBar, VerticalBar, Pie, Needle };

class TWin32Gauge : public TWin32Window
{
public:
    void Create(HWND parent, RECT place, int id);

    void SetProgress(int progress);
    int Progress() const { return fProgress; }
    int Percent() const;
    void SetKind(TWin32GaugeKind kind);
    void SetFont(HFONT font); // not owned

    // Draws the picture into dc, width by height, as a paint does (tests read it back).
    void Render(HDC dc, int width, int height) const;

protected:
    LRESULT HandleMessage(UINT message, WPARAM w, LPARAM l) override;

private:
    void RepaintNow();
    void DrawFigure(HDC dc, RECT r, int width) const;
    void DrawText(HDC dc, RECT r, int width, int height) const;

    int fMinValue = 0;
    int fMaxValue = 100;
    int fProgress = 0;
    TWin32GaugeKind fKind = TWin32GaugeKind::HorizontalBar;
    bool fShowText = true;
    bool fBorder = true;
    COLORREF fForeColor = RGB(0, 0, 0);
    COLORREF fBackColor = RGB(255, 255, 255);
    HFONT fFont = nullptr;
};
