#pragma once
// The terminal pane on Win32: paints only the lines it shows from the Qt-free terminal text (one
// byte per character, code page 1252 decoded as it paints), follows the end while it is shown,
// scrolls both ways (a line of megabytes is reached sideways), selects with the mouse and copies
// a bounded selection. Its context menu is the window's (WM_CONTEXTMENU goes to the parent).

#include "terminal/TReceivedLog.h"
#include "terminal/TTerminalText.h"
#include "window/ITerminalSink.h"
#include "windows/TWin32Window.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

class TWin32Terminal : public TWin32Window, public ITerminalSink
{
public:
    static constexpr std::uint64_t DefaultCopyLimit = 64ull << 20;

    TWin32Terminal();
    void Create(HWND parent, RECT place, int id, HFONT font, COLORREF text, COLORREF back);

    // ITerminalSink
    void AppendReceived(std::string_view bytes) override;
    void AppendTextLine(std::string_view text) override;
    void DeleteLine(int index) override;
    void ReplaceWithText(std::string_view text) override;
    void ClearText() override;

    const TTerminalText& Text() const { return fText; }
    // The selection as Unicode text, at most copyLimit characters; whether it was cut.
    std::wstring SelectedText(bool& cut) const;
    bool HasSelection() const { return fSelectionAnchor != fSelectionEnd; }
    void SelectAll();
    void CopySelection(); // to the clipboard
    // Writes the received bytes, exactly as they came, to path (whole or not at all).
    void SaveLog(const std::filesystem::path& path) const;
    int TopLine() const { return static_cast<int>(fTopLine); }

    std::uint64_t CopyLimit = DefaultCopyLimit;
    // Says something to the operator (the copy's bound); by default an information box.
    std::function<void(const std::wstring&)> ShowNotice;

protected:
    LRESULT HandleMessage(UINT message, WPARAM w, LPARAM l) override;

private:
    void Changed();
    void Paint(HDC dc, const RECT& dirty) const;
    int VisibleRows() const;
    void UpdateScrollBars();
    void ScrollTo(std::int64_t top, std::int64_t left);
    std::uint64_t OffsetAt(int x, int y) const;
    std::wstring Shown(std::uint64_t from, std::uint64_t to) const;
    void SayWhatWentWrongWithTheFiles();

    TTerminalText fText;
    TReceivedLog fReceived;
    HFONT fFont = nullptr; // not owned
    COLORREF fTextColour = RGB(255, 255, 255), fBackColour = RGB(0, 0, 0);
    int fLineHeight = 16;
    std::int64_t fTopLine = 0;
    std::int64_t fLeftColumn = 0;
    bool fFollowing = true; // the end is shown and stays shown
    std::uint64_t fSelectionAnchor = 0, fSelectionEnd = 0;
    bool fSelecting = false;
};
