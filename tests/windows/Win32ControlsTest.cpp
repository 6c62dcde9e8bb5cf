// The drawn controls of the Windows window, without a display: the gauge's picture read back
// pixel by pixel, the lamp's and the track bar's notifications.
#include "windows/TWin32Gauge.h"
#include "windows/TWin32Led.h"
#include "windows/TWin32TrackBar.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <vector>

namespace {

// A hidden top-level window for the controls to live in.
struct TParent
{
    TParent()
        : Window(::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 600, 100, nullptr, nullptr,
                                   ::GetModuleHandleW(nullptr), nullptr))
    {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES};
        ::InitCommonControlsEx(&controls);
    }
    ~TParent() { ::DestroyWindow(Window); }
    HWND Window;
};

// The gauge's picture as 0x00RRGGBB pixels.
std::vector<std::uint32_t> Picture(TWin32Gauge& gauge, int width, int height)
{
    BITMAPINFO info{};
    info.bmiHeader = {sizeof info.bmiHeader, width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    const HDC screen = ::GetDC(nullptr);
    const HDC dc = ::CreateCompatibleDC(screen);
    const HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    const HGDIOBJ previous = ::SelectObject(dc, bitmap);
    gauge.Render(dc, width, height);
    ::GdiFlush();
    const auto* pixels = static_cast<const std::uint32_t*>(bits);
    std::vector<std::uint32_t> picture(pixels, pixels + width * height);
    ::SelectObject(dc, previous);
    ::DeleteObject(bitmap);
    ::DeleteDC(dc);
    ::ReleaseDC(nullptr, screen);
    for (auto& pixel : picture)
        pixel &= 0x00FFFFFF;
    return picture;
}

constexpr std::uint32_t Black = 0x000000, White = 0xFFFFFF;

TEST(Win32Gauge, TheBarFillsItsShareTheRingStaysBlackAndTheTextIsInverted)
{
    TParent parent;
    TWin32Gauge gauge;
    gauge.Create(parent.Window, RECT{0, 0, 409, 21}, 1);
    struct TCase
    {
        int Percent, X, Y;
        std::uint32_t Colour;
    };
    // The main window's gauge, 409 by 21 with a border: at 42 % the bar fills x 1..170.
    const TCase cases[] = {{42, 0, 0, Black},    {42, 408, 10, Black}, {42, 200, 20, Black},
                           {42, 100, 10, Black}, {42, 170, 3, Black},  {42, 172, 3, White},
                           {42, 350, 10, White}, {0, 5, 10, White},    {100, 400, 3, Black}};
    for (const TCase& c : cases) {
        gauge.SetProgress(c.Percent);
        const auto picture = Picture(gauge, 409, 21);
        EXPECT_EQ(picture[static_cast<std::size_t>(c.Y * 409 + c.X)], c.Colour)
            << c.Percent << "% at " << c.X << "," << c.Y;
    }
    // The percentage is XORed on the middle: over the empty part its glyphs come out black.
    gauge.SetProgress(10);
    const auto picture = Picture(gauge, 409, 21);
    int blackInTheMiddle = 0;
    for (int y = 2; y < 19; ++y)
        for (int x = 180; x < 230; ++x)
            blackInTheMiddle += picture[static_cast<std::size_t>(y * 409 + x)] == Black;
    EXPECT_GT(blackInTheMiddle, 5);
}

TEST(Win32Led, TellsEachChangeOnceAndNothingForTheSameValue)
{
    TParent parent;
    TWin32Led lamp;
    lamp.Create(parent.Window, RECT{0, 0, 15, 15}, 1);
    lamp.SetOnColor(0x0000FF);
    lamp.SetOffColor(0x000080);
    int changes = 0;
    lamp.OnChange = [&](TWin32Led&) { ++changes; };
    lamp.SetLedOn(false);
    EXPECT_EQ(changes, 0);
    lamp.SetLedOn(true);
    lamp.SetLedOn(true);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(lamp.ShownColour(), 0x0000FFu);
    // A lit flashing lamp starts in its dark phase until the first tick.
    lamp.SetFlashing(true);
    EXPECT_EQ(lamp.ShownColour(), 0x000080u);
}

TEST(Win32TrackBar, EveryStepIsToldButNotTheEndOfTheMove)
{
    TParent parent;
    TWin32TrackBar bar;
    bar.Create(parent.Window, RECT{0, 0, 169, 29}, 1, false);
    bar.SetMax(15);
    bar.SetPosition(10);
    int changes = 0;
    bar.OnChange = [&] { ++changes; };
    ::SendMessageW(bar.Handle(), TBM_SETPOS, TRUE, 11);
    bar.Scrolled(TB_LINEDOWN);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(bar.Position(), 11);
    bar.Scrolled(TB_ENDTRACK);
    EXPECT_EQ(changes, 1);
}

} // namespace
