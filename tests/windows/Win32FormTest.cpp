// The Windows window over a recorded port, without a display: its controls where the layout puts
// them, the caption, the keys it takes itself, and the close refused during a transfer.
#include "tests/serial/FakeSerialBackend.h"
#include "windows/TWin32Form1.h"
#include "windows/WideText.h"

#include <gtest/gtest.h>

#undef AddPort // the print spooler's, which windows.h brings

#include <algorithm>
#include <string>
#include <vector>

namespace {

std::wstring TextOf(HWND window)
{
    wchar_t text[256] = {};
    ::GetWindowTextW(window, text, 256);
    return text;
}

struct Win32Form : ::testing::Test
{
    TFakeSerialBackend Backend;
    TWin32Form1 Form{&Backend};
    std::vector<std::string> Errors, Warnings;

    Win32Form()
    {
        Form.ReportError = [this](const std::string& text) { Errors.push_back(text); };
        Form.ShowWarning = [this](const std::string& text) { Warnings.push_back(text); };
    }
};

TEST_F(Win32Form, TheCaptionIsExactAndEveryControlIsWhereTheLayoutSays)
{
    EXPECT_EQ(TextOf(Form.Handle()), Wide(Form1Window().Caption));
    const HDC screen = ::GetDC(nullptr);
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(nullptr, screen);
    RECT client{};
    ::GetClientRect(Form.Handle(), &client);
    EXPECT_EQ(client.right, ::MulDiv(Form1Window().ClientWidth, dpi, 96));
    for (const TControlLayout& layout : Form1Layout()) {
        if (layout.Class == TControlClass::ComboBox) continue; // its height holds its list
        RECT at{};
        ::GetWindowRect(Form.Control(layout.Id), &at);
        ::MapWindowPoints(nullptr, Form.Handle(), reinterpret_cast<POINT*>(&at), 2);
        EXPECT_EQ(at.left, ::MulDiv(layout.Left, dpi, 96)) << layout.Name;
        EXPECT_EQ(at.top, ::MulDiv(layout.Top, dpi, 96)) << layout.Name;
        EXPECT_EQ(at.right - at.left, ::MulDiv(layout.Width, dpi, 96)) << layout.Name;
        EXPECT_EQ(::IsWindowEnabled(Form.Control(layout.Id)) != FALSE, layout.Enabled)
            << layout.Name;
        EXPECT_EQ((::GetWindowLongW(Form.Control(layout.Id), GWL_STYLE) & WS_VISIBLE) != 0,
                  layout.Visible)
            << layout.Name;
    }
    EXPECT_EQ(TextOf(Form.Control(TControl::Button_Open)), L"Connetti Porta");
}

TEST_F(Win32Form, TabGoesInTheLayoutsOrder)
{
    std::vector<const TControlLayout*> stops;
    for (const TControlLayout& layout : Form1Layout())
        if (layout.TabOrder >= 0 && layout.Class != TControlClass::Panel && layout.Visible)
            stops.push_back(&layout);
    std::sort(stops.begin(), stops.end(),
              [](auto* a, auto* b) { return a->TabOrder < b->TabOrder; });
    // Only the enabled ones take the focus.
    std::erase_if(stops, [](auto* layout) { return !layout->Enabled; });
    for (std::size_t i = 0; i + 1 < stops.size(); ++i) {
        const HWND from =
            stops[i]->Id == TControl::rgAuto ? Form.RadioItem(0) : Form.Control(stops[i]->Id);
        const HWND to = stops[i + 1]->Id == TControl::rgAuto ? Form.RadioItem(0)
                                                             : Form.Control(stops[i + 1]->Id);
        const HWND next = ::GetNextDlgTabItem(Form.Handle(), from, FALSE);
        // A combo box's focus is its edit's.
        EXPECT_TRUE(next == to || ::GetParent(next) == to)
            << stops[i]->Name << " -> " << stops[i + 1]->Name;
    }
}

TEST_F(Win32Form, ReturnInThePortBoxChoosesTheTypedPortAndRemembersIt)
{
    std::vector<std::string> remembered;
    Form.Model.RememberPort = [&](const std::string& path) { remembered.push_back(path); };
    const HWND box = Form.Control(TControl::ComboBox1);
    const HWND edit = ::GetWindow(box, GW_CHILD);
    ASSERT_NE(edit, nullptr);
    ::SetWindowTextW(edit, L"\\\\.\\COM12"); // typing tells the box its text changed
    ::SendMessageW(Form.Handle(), WM_COMMAND,
                   MAKEWPARAM(TWin32Form1::ControlId(TControl::ComboBox1), CBN_EDITCHANGE),
                   reinterpret_cast<LPARAM>(box));
    MSG key{edit, WM_KEYDOWN, VK_RETURN, 0, 0, {}};
    EXPECT_TRUE(Form.PreTranslate(key));
    EXPECT_EQ(remembered, std::vector<std::string>{"\\\\.\\COM12"});
    EXPECT_EQ(Form.Model.ComPort.DevicePath(Form.Model.ComPort.Port()), "\\\\.\\COM12");
}

TEST_F(Win32Form, ClosingIsRefusedWithTheWarningWhileAFlashRuns)
{
    Form.Model.Session.FlashInProgress = true;
    ::SendMessageW(Form.Handle(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(::IsWindow(Form.Handle()));
    EXPECT_EQ(Warnings, std::vector<std::string>{"Flash in corso, impossibile fermare. !!!"});
    Form.Model.Session.FlashInProgress = false;
    ::SendMessageW(Form.Handle(), WM_CLOSE, 0, 0);
    EXPECT_EQ(Form.Handle(), nullptr);
    MSG quit{};
    EXPECT_TRUE(::PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST_F(Win32Form, ConnectingLightsTheLampAndTheDevicesBytesReachTheTerminal)
{
    TFakePort& port = Backend.AddPort(Form.Model.ComPort.DevicePath(2));
    ::SendMessageW(Form.Control(TControl::Button_Open), BM_CLICK, 0, 0);
    ASSERT_TRUE(Form.Model.ComPort.Active()) << (Errors.empty() ? "" : Errors.front());
    EXPECT_TRUE(Form.Lamp(TControl::slConnexion).LedOn());
    EXPECT_TRUE(::IsWindowEnabled(Form.Control(TControl::Button4)));
    port.Receive("hello\r\nworld");
    const auto done = [&] { return Form.TerminalPane().Text().LineCount() >= 2; };
    for (int i = 0; i < 500 && !done(); ++i) {
        ::MsgWaitForMultipleObjectsEx(0, nullptr, 10, QS_ALLINPUT, 0);
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            ::DispatchMessageW(&message);
    }
    ASSERT_TRUE(done());
    const TTerminalText& text = Form.TerminalPane().Text();
    std::vector<std::string> lines;
    for (std::int64_t i = 0; i < text.LineCount(); ++i)
        lines.push_back(text.Line(i));
    EXPECT_NE(std::find(lines.begin(), lines.end(), "hello"), lines.end());
    EXPECT_EQ(lines.back(), "world");
}

} // namespace
