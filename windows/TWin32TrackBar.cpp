#include "windows/TWin32TrackBar.h"

#include "system/Win32Error.h"

#include <commctrl.h>

void TWin32TrackBar::Create(HWND parent, RECT place, int id, bool visible)
{
    const DWORD style = WS_CHILD | WS_TABSTOP | TBS_HORZ | TBS_AUTOTICKS | TBS_ENABLESELRANGE |
                        TBS_FIXEDLENGTH | TBS_TOOLTIPS | (visible ? WS_VISIBLE : 0);
    fWindow = ::CreateWindowExW(0, TRACKBAR_CLASSW, L"", style, place.left, place.top,
                                place.right - place.left, place.bottom - place.top, parent,
                                reinterpret_cast<HMENU>(INT_PTR(id)), ::GetModuleHandleW(nullptr),
                                nullptr);
    if (fWindow == nullptr) throw Win32Error("CreateWindowExW(track bar)");
    ApplyToolTipSide();
}

void TWin32TrackBar::SetMax(int max)
{
    ::SendMessageW(fWindow, TBM_SETRANGEMAX, TRUE, max);
}

void TWin32TrackBar::SetPosition(int position)
{
    if (position == fPosition) return;
    ::SendMessageW(fWindow, TBM_SETPOS, TRUE, position);
    fPosition = static_cast<int>(::SendMessageW(fWindow, TBM_GETPOS, 0, 0));
    if (OnChange) OnChange();
}

void TWin32TrackBar::SetToolTipSide(TToolTipSide side)
{
    if (side == fSide) return;
    fSide = side;
    ApplyToolTipSide();
}

void TWin32TrackBar::ApplyToolTipSide()
{
    if (fWindow == nullptr) return;
    static constexpr WPARAM Codes[] = {TBTS_LEFT, TBTS_TOP, TBTS_RIGHT, TBTS_BOTTOM};
    ::SendMessageW(fWindow, TBM_SETTIPSIDE, Codes[static_cast<int>(fSide)], 0);
}

void TWin32TrackBar::Scrolled(int code)
{
    if (code == TB_ENDTRACK) return; // the end of a move repeats its last step
    fPosition = static_cast<int>(::SendMessageW(fWindow, TBM_GETPOS, 0, 0));
    if (OnChange) OnChange();
}

bool TWin32TrackBar::Notified(NMHDR& header, LRESULT& result)
{
    const auto tip = reinterpret_cast<HWND>(::SendMessageW(fWindow, TBM_GETTOOLTIPS, 0, 0));
    if (header.hwndFrom != tip || header.code != TTN_NEEDTEXTW || !OnToolTip) return false;
    auto& request = reinterpret_cast<NMTTDISPINFOW&>(header);
    request.hinst = nullptr; // the text is not a resource
    std::wstring text = std::to_wstring(fPosition);
    OnToolTip(text);
    fLastToolTipText = std::move(text);
    request.lpszText = fLastToolTipText.data();
    ::ZeroMemory(request.szText, sizeof request.szText);
    result = 1;
    return true;
}
