#include "windows/TWin32Terminal.h"

#include "system/TFile.h"
#include "window/CodePage1252.h"
#include "windows/WideText.h"

#include <windowsx.h>

#include <algorithm>
#include <system_error>

namespace {

constexpr int Margin = 2;
// A line is painted from its left column on at most this many characters: enough for any screen.
constexpr std::uint64_t PaintedColumns = 1024;

} // namespace

TWin32Terminal::TWin32Terminal()
    : fReceived(TTerminalText::DefaultMemoryLimit, TTerminalText::DefaultFile)
{
}

void TWin32Terminal::Create(HWND parent, RECT place, int id, HFONT font, COLORREF text,
                            COLORREF back)
{
    fFont = font;
    fTextColour = text;
    fBackColour = back;
    CreateOwnWindow(L"TarvelTerminal", WS_EX_CLIENTEDGE,
                    WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | WS_HSCROLL, L"", place,
                    parent, id);
    const HDC dc = ::GetDC(Handle());
    {
        TSelected withFont(dc, fFont);
        TEXTMETRICW metrics{};
        ::GetTextMetricsW(dc, &metrics);
        fLineHeight = std::max<int>(1, metrics.tmHeight);
    }
    ::ReleaseDC(Handle(), dc);
    UpdateScrollBars();
}

// --- what the window's rules put in

void TWin32Terminal::AppendReceived(std::string_view bytes)
{
    fReceived.Append(bytes, TTerminalText::Now());
    fText.AppendReceived(bytes);
    SayWhatWentWrongWithTheFiles();
    Changed();
}

void TWin32Terminal::AppendTextLine(std::string_view text)
{
    fText.AppendLine(EncodeShown(text));
    Changed();
}

void TWin32Terminal::DeleteLine(int index)
{
    if (index < 0 || index >= fText.LineCount()) return;
    fText.DeleteLine(index);
    fSelectionAnchor = std::min(fSelectionAnchor, fText.Size());
    fSelectionEnd = std::min(fSelectionEnd, fText.Size());
    Changed();
}

void TWin32Terminal::ReplaceWithText(std::string_view text)
{
    fText.Clear();
    fText.AppendText(EncodeShown(text));
    fSelectionAnchor = fSelectionEnd = 0;
    Changed();
}

void TWin32Terminal::ClearText()
{
    fReceived.Clear();
    ReplaceWithText({});
}

void TWin32Terminal::SayWhatWentWrongWithTheFiles()
{
    std::optional<std::string> why = fText.TakeSpillError();
    if (!why) why = fReceived.TakeSpillError();
    if (why) fText.AppendLine(EncodeShown("[Terminale: " + *why + "]"));
}

// The pane repaints when the message queue is empty, so many chunks cost one paint.
void TWin32Terminal::Changed()
{
    if (Handle() == nullptr) return;
    if (fFollowing) fTopLine = std::max<std::int64_t>(0, fText.LineCount() - VisibleRows());
    fTopLine = std::min(fTopLine, std::max<std::int64_t>(0, fText.LineCount() - 1));
    UpdateScrollBars();
    ::InvalidateRect(Handle(), nullptr, FALSE);
}

// --- showing it

int TWin32Terminal::VisibleRows() const
{
    RECT client{};
    if (Handle() != nullptr) ::GetClientRect(Handle(), &client);
    return std::max(1, static_cast<int>((client.bottom - 2 * Margin) / fLineHeight));
}

// Scroll bars take 32-bit positions; a longer text scrolls in proportion.
void TWin32Terminal::UpdateScrollBars()
{
    SCROLLINFO vertical{};
    vertical.cbSize = sizeof vertical;
    vertical.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
    const std::int64_t lines = std::max<std::int64_t>(1, fText.LineCount());
    vertical.nMax = static_cast<int>(std::min<std::int64_t>(lines - 1, INT32_MAX));
    vertical.nPage = static_cast<UINT>(VisibleRows());
    vertical.nPos = static_cast<int>(std::min<std::int64_t>(fTopLine, INT32_MAX));
    ::SetScrollInfo(Handle(), SB_VERT, &vertical, TRUE);

    std::uint64_t widest = 0;
    const std::int64_t last = std::min(fText.LineCount(), fTopLine + VisibleRows());
    for (std::int64_t line = fTopLine; line < last; ++line)
        widest = std::max(widest, fText.LineEnd(line) - fText.LineStart(line));
    SCROLLINFO horizontal{};
    horizontal.cbSize = sizeof horizontal;
    horizontal.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    horizontal.nMax = static_cast<int>(std::min<std::uint64_t>(widest, INT32_MAX));
    horizontal.nPage = 40;
    horizontal.nPos = static_cast<int>(std::min<std::int64_t>(fLeftColumn, INT32_MAX));
    ::SetScrollInfo(Handle(), SB_HORZ, &horizontal, TRUE);
}

void TWin32Terminal::ScrollTo(std::int64_t top, std::int64_t left)
{
    const std::int64_t lastTop = std::max<std::int64_t>(0, fText.LineCount() - VisibleRows());
    fTopLine = std::clamp<std::int64_t>(top, 0, lastTop);
    fLeftColumn = std::max<std::int64_t>(0, left);
    fFollowing = fTopLine >= lastTop;
    UpdateScrollBars();
    ::InvalidateRect(Handle(), nullptr, FALSE);
}

std::wstring TWin32Terminal::Shown(std::uint64_t from, std::uint64_t to) const
{
    std::wstring shown;
    shown.reserve(static_cast<std::size_t>(to - from));
    fText.Bytes().ForEach(from, to, [&](std::string_view piece) {
        for (const char byte : piece)
            shown.push_back(byte == '\n' ? L'\n' : static_cast<wchar_t>(DisplayUnit(byte)));
    });
    return shown;
}

void TWin32Terminal::Paint(HDC dc, const RECT& dirty) const
{
    RECT client;
    ::GetClientRect(Handle(), &client);
    TOffScreen picture(dc, client.right, client.bottom);
    const HDC off = picture.Dc();
    TGdiObject back(::CreateSolidBrush(fBackColour));
    ::FillRect(off, &client, static_cast<HBRUSH>(back.Get()));
    TSelected withFont(off, fFont);
    ::SetBkMode(off, OPAQUE);
    const std::uint64_t selFrom = std::min(fSelectionAnchor, fSelectionEnd);
    const std::uint64_t selTo = std::max(fSelectionAnchor, fSelectionEnd);
    for (int row = 0; row <= VisibleRows(); ++row) {
        const std::int64_t line = fTopLine + row;
        if (line >= fText.LineCount()) break;
        const int y = Margin + row * fLineHeight;
        if (y > dirty.bottom || y + fLineHeight < dirty.top) continue;
        const std::uint64_t start = fText.LineStart(line), end = fText.LineEnd(line);
        const std::uint64_t from = std::min(end, start + static_cast<std::uint64_t>(fLeftColumn));
        const std::uint64_t to = std::min(end, from + PaintedColumns);
        // Unselected, selected and unselected again, each in its colours.
        const std::uint64_t cuts[] = {from, std::clamp(selFrom, from, to),
                                      std::clamp(selTo, from, to), to};
        int x = Margin;
        for (int part = 0; part < 3; ++part) {
            if (cuts[part + 1] <= cuts[part]) continue;
            const bool selected = part == 1;
            ::SetTextColor(off, selected ? ::GetSysColor(COLOR_HIGHLIGHTTEXT) : fTextColour);
            ::SetBkColor(off, selected ? ::GetSysColor(COLOR_HIGHLIGHT) : fBackColour);
            const std::wstring text = Shown(cuts[part], cuts[part + 1]);
            ::TextOutW(off, x, y, text.c_str(), static_cast<int>(text.size()));
            SIZE extent{};
            ::GetTextExtentPoint32W(off, text.c_str(), static_cast<int>(text.size()), &extent);
            x += extent.cx;
        }
    }
    ::BitBlt(dc, dirty.left, dirty.top, dirty.right - dirty.left, dirty.bottom - dirty.top, off,
             dirty.left, dirty.top, SRCCOPY);
}

std::uint64_t TWin32Terminal::OffsetAt(int x, int y) const
{
    if (fText.LineCount() == 0) return 0;
    const std::int64_t row = std::max(0, (y - Margin) / fLineHeight);
    const std::int64_t line = std::min(fTopLine + row, fText.LineCount() - 1);
    const std::uint64_t start = fText.LineStart(line), end = fText.LineEnd(line);
    const std::uint64_t from = std::min(end, start + static_cast<std::uint64_t>(fLeftColumn));
    const std::wstring text = Shown(from, std::min(end, from + PaintedColumns));
    const HDC dc = ::GetDC(Handle());
    int fit = 0;
    {
        TSelected withFont(dc, fFont);
        SIZE extent{};
        ::GetTextExtentExPointW(dc, text.c_str(), static_cast<int>(text.size()),
                                std::max(0, x - Margin), &fit, nullptr, &extent);
    }
    ::ReleaseDC(Handle(), dc);
    return from + static_cast<std::uint64_t>(fit);
}

// --- selecting, copying, saving

void TWin32Terminal::SelectAll()
{
    fSelectionAnchor = 0;
    fSelectionEnd = fText.Size();
    ::InvalidateRect(Handle(), nullptr, FALSE);
}

std::wstring TWin32Terminal::SelectedText(bool& cut) const
{
    const std::uint64_t from = std::min(fSelectionAnchor, fSelectionEnd);
    const std::uint64_t to = std::max(fSelectionAnchor, fSelectionEnd);
    cut = to - from > CopyLimit;
    std::wstring text = Shown(from, cut ? from + CopyLimit : to);
    // The clipboard's text has Windows line ends.
    std::wstring withCrLf;
    withCrLf.reserve(text.size() + text.size() / 32);
    for (const wchar_t c : text) {
        if (c == L'\n') withCrLf.push_back(L'\r');
        withCrLf.push_back(c);
    }
    return withCrLf;
}

void TWin32Terminal::CopySelection()
{
    if (!HasSelection()) return;
    bool cut = false;
    const std::wstring text = SelectedText(cut);
    const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    const HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (memory == nullptr) return;
    std::copy_n(text.c_str(), text.size() + 1, static_cast<wchar_t*>(::GlobalLock(memory)));
    ::GlobalUnlock(memory);
    if (!::OpenClipboard(Handle())) {
        ::GlobalFree(memory);
        return;
    }
    ::EmptyClipboard();
    if (::SetClipboardData(CF_UNICODETEXT, memory) == nullptr) ::GlobalFree(memory);
    ::CloseClipboard();
    if (cut && ShowNotice)
        ShowNotice(L"The selection is longer than can be copied: only its first " +
                   std::to_wstring(CopyLimit) +
                   L" characters were copied. \"Save log\u2026\" saves the whole session.");
}

void TWin32Terminal::SaveLog(const std::filesystem::path& path) const
{
    // The old file stays whole until the new one is complete.
    std::filesystem::path partial = path;
    partial += L".partial";
    try {
        {
            TFile file = TFile::Create(partial);
            fReceived.Bytes().ForEach(0, fReceived.Bytes().Size(), [&](std::string_view piece) {
                file.Write(std::span<const char>(piece.data(), piece.size()));
            });
        }
        std::filesystem::rename(partial, path);
    } catch (const std::system_error& error) { // a filesystem_error is one too
        std::error_code ignored;
        std::filesystem::remove(partial, ignored);
        throw std::system_error(error.code(), "Cannot write " + Utf8(path.wstring()));
    }
}

// --- the pane's messages

LRESULT TWin32Terminal::HandleMessage(UINT message, WPARAM w, LPARAM l)
{
    switch (message) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        const HDC dc = ::BeginPaint(Handle(), &paint);
        Paint(dc, paint.rcPaint);
        ::EndPaint(Handle(), &paint);
        return 0;
    }
    case WM_SIZE:
        Changed();
        return 0;
    case WM_VSCROLL:
    case WM_HSCROLL: {
        const int bar = message == WM_VSCROLL ? SB_VERT : SB_HORZ;
        SCROLLINFO info{};
        info.cbSize = sizeof info;
        info.fMask = SIF_ALL;
        ::GetScrollInfo(Handle(), bar, &info);
        std::int64_t at = message == WM_VSCROLL ? fTopLine : fLeftColumn;
        const std::int64_t page = static_cast<std::int64_t>(info.nPage);
        switch (LOWORD(w)) {
        case SB_LINEUP:
            at -= 1;
            break;
        case SB_LINEDOWN:
            at += 1;
            break;
        case SB_PAGEUP:
            at -= page;
            break;
        case SB_PAGEDOWN:
            at += page;
            break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION:
            at = info.nTrackPos;
            break;
        case SB_TOP:
            at = 0;
            break;
        case SB_BOTTOM:
            at = INT32_MAX;
            break;
        default:
            return 0;
        }
        if (message == WM_VSCROLL)
            ScrollTo(at, fLeftColumn);
        else
            ScrollTo(fTopLine, at);
        return 0;
    }
    case WM_MOUSEWHEEL:
        ScrollTo(fTopLine - GET_WHEEL_DELTA_WPARAM(w) / WHEEL_DELTA * 3, fLeftColumn);
        return 0;
    case WM_LBUTTONDOWN:
        ::SetFocus(Handle());
        ::SetCapture(Handle());
        fSelecting = true;
        fSelectionAnchor = fSelectionEnd = OffsetAt(GET_X_LPARAM(l), GET_Y_LPARAM(l));
        ::InvalidateRect(Handle(), nullptr, FALSE);
        return 0;
    case WM_MOUSEMOVE:
        if (fSelecting) {
            fSelectionEnd = OffsetAt(GET_X_LPARAM(l), GET_Y_LPARAM(l));
            ::InvalidateRect(Handle(), nullptr, FALSE);
        }
        return 0;
    case WM_LBUTTONUP:
        fSelecting = false;
        ::ReleaseCapture();
        return 0;
    case WM_KEYDOWN:
        if (::GetKeyState(VK_CONTROL) < 0 && (w == 'C' || w == VK_INSERT)) {
            CopySelection();
            return 0;
        }
        if (::GetKeyState(VK_CONTROL) < 0 && w == 'A') {
            SelectAll();
            return 0;
        }
        if (w == VK_PRIOR || w == VK_NEXT) {
            ScrollTo(fTopLine + (w == VK_PRIOR ? -VisibleRows() : VisibleRows()), fLeftColumn);
            return 0;
        }
        break;
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS;
    default:
        break;
    }
    return TWin32Window::HandleMessage(message, w, l);
}
