#pragma once
// The pause bar: the system's track bar (common controls) with its position tool tip on a chosen
// side, a handler that may rewrite the tip, and OnChange for every step of a move but not for the
// end of the move (TB_ENDTRACK), which repeats the last step.

#include <windows.h>

#include <functional>
#include <string>

enum class TToolTipSide : int { Left = 0, Top = 1, Right = 2, Bottom = 3 };

class TWin32TrackBar
{
public:
    void Create(HWND parent, RECT place, int id, bool visible);
    HWND Handle() const { return fWindow; }

    void SetMax(int max);
    void SetPosition(int position);
    int Position() const { return fPosition; }
    void SetToolTipSide(TToolTipSide side);
    void SetHint(std::wstring hint) { fHint = std::move(hint); }
    const std::wstring& Hint() const { return fHint; }

    std::function<void()> OnChange;
    // May replace the tool tip's text (the position in decimals).
    std::function<void(std::wstring& text)> OnToolTip;

    // The parent forwards its WM_HSCROLL and WM_NOTIFY from this bar and its tool tip here.
    void Scrolled(int code);
    bool Notified(NMHDR& header, LRESULT& result);

private:
    void ApplyToolTipSide();

    HWND fWindow = nullptr;
    int fPosition = 0;
    TToolTipSide fSide = TToolTipSide::Left;
    std::wstring fHint;
    std::wstring fLastToolTipText; // the tip's text pointer stays valid while it shows
};
