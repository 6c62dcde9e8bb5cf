#pragma once
// The lamp drawn with GDI: a filled ellipse in the on or off colour with a white chord of
// highlight in its upper left, flashing on a timer while lit when asked to. Setters compare, keep
// the value and repaint at once; the flash tick repaints later.

#include "windows/TWin32Window.h"

#include <cstdint>
#include <functional>

class TWin32Led : public TWin32Window
{
public:
    void Create(HWND parent, RECT place, int id);

    void SetOnColor(std::uint32_t colour);
    void SetOffColor(std::uint32_t colour);
    void SetLedOn(bool on);
    void SetFlashing(bool flashing);
    void SetFrequency(int ms);
    bool LedOn() const { return fLedOn; }
    std::uint32_t ShownColour() const; // the fill colour the next paint uses
    std::function<void(TWin32Led&)> OnChange;

protected:
    LRESULT HandleMessage(UINT message, WPARAM w, LPARAM l) override;

private:
    void RepaintNow();
    void ApplyTimer();
    void Paint(HDC dc) const;

    std::uint32_t fOnColor = 0x0000FF00;
    std::uint32_t fOffColor = 0x000000FF;
    bool fLedOn = false;
    bool fFlashing = false;
    int fFrequency = 200;
    bool fFlashPhase = false;
};
