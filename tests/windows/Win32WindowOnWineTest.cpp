// tarvel.exe's window under Wine on a real X server, on the native simulated boot loader that
// Wine's COM2 is linked to (WindowUnderWine.sh starts it, links it and checks the image it
// loaded). The dialogs are the system's own: a timer finds them and answers as a person would.
#include "i18n/TLocalizationModule.h"
#include "windows/TWin32EventLoop.h"
#include "windows/TWin32Form1.h"
#include "windows/WideText.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cwchar>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

// Work for the window's thread after ms milliseconds, run by its message loop (also inside the
// transfer's waits and the modal dialogs' loops).
std::map<UINT_PTR, std::function<void()>>& Pending()
{
    static std::map<UINT_PTR, std::function<void()>> pending;
    return pending;
}

void After(UINT ms, std::function<void()> work)
{
    const UINT_PTR id = ::SetTimer(nullptr, 0, ms, [](HWND, UINT, UINT_PTR id, DWORD) CALLBACK {
        ::KillTimer(nullptr, id);
        const auto found = Pending().find(id);
        if (found == Pending().end()) return;
        const std::function<void()> work = std::move(found->second);
        Pending().erase(found);
        work();
    });
    Pending()[id] = std::move(work);
}

// Looks every 50 ms, up to 20 s, for a dialog of this thread whose caption holds `caption`.
void WhenDialogShows(const std::wstring& caption, std::function<void(HWND)> answer, int tries = 400)
{
    After(50, [=] {
        HWND found = nullptr;
        struct TSearch
        {
            const std::wstring* Caption;
            HWND* Found;
        } search{&caption, &found};
        ::EnumThreadWindows(
            ::GetCurrentThreadId(),
            [](HWND window, LPARAM l) CALLBACK -> BOOL {
                auto* s = reinterpret_cast<TSearch*>(l);
                wchar_t className[32] = {}, title[256] = {};
                ::GetClassNameW(window, className, 32);
                ::GetWindowTextW(window, title, 256);
                if (std::wstring_view(className) == L"#32770" && ::IsWindowVisible(window) &&
                    std::wstring_view(title).find(*s->Caption) != std::wstring_view::npos) {
                    *s->Found = window;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
        if (found != nullptr)
            answer(found);
        else if (tries > 0)
            WhenDialogShows(caption, answer, tries - 1);
    });
}

std::string Env(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

bool RunUntil(const std::function<bool()>& done, int ms = 20000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        TWin32EventLoop::Delay(10, [] { return static_cast<std::uint32_t>(::GetTickCount()); });
    }
    return true;
}

std::string TerminalText(TWin32Form1& form)
{
    const TTerminalText& text = form.TerminalPane().Text();
    std::string all;
    for (std::int64_t i = 0; i < text.LineCount(); ++i)
        all += text.Line(i) + "\n";
    return all;
}

void Click(TWin32Form1& form, TControl control)
{
    ::SendMessageW(form.Control(control), BM_CLICK, 0, 0);
}

struct OnWine : ::testing::Test
{
    TWin32Form1 Form;
    std::vector<std::string> Errors;

    OnWine()
    {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
        ::InitCommonControlsEx(&controls);
        Form.ReportError = [this](const std::string& text) { Errors.push_back(text); };
        Form.Show(SW_SHOWNORMAL);
    }

    // Connetti Porta on COM2 and Init: the device's menu is answered by itself until "Send".
    void ConnectAndInit()
    {
        Click(Form, TControl::Button_Open);
        ASSERT_TRUE(Form.Model.ComPort.Active()) << (Errors.empty() ? "" : Errors.front());
        ASSERT_TRUE(Form.Lamp(TControl::slConnexion).LedOn());
        Click(Form, TControl::Button4);
        ASSERT_TRUE(RunUntil([&] {
            return TerminalText(Form).find("loads3") != std::string::npos;
        })) << TerminalText(Form);
        ASSERT_TRUE(RunUntil([&] { return Form.Model.Session.Armed; }));
    }

    // Flash, with the file's path typed into the system's open dialog.
    void FlashTypingThePath(const std::string& path)
    {
        WhenDialogShows(L"", [path](HWND dialog) {
            // Typed as a person types: the dialog opens with its name box focused.
            ::SetForegroundWindow(dialog);
            std::vector<INPUT> keys;
            for (const wchar_t c : Wide(path) + L"\r") {
                INPUT key{};
                key.type = INPUT_KEYBOARD;
                key.ki.wScan = c;
                key.ki.dwFlags = KEYEVENTF_UNICODE;
                if (c == L'\r') key.ki = KEYBDINPUT{VK_RETURN, 0, 0, 0, 0};
                keys.push_back(key);
                key.ki.dwFlags |= KEYEVENTF_KEYUP;
                keys.push_back(key);
            }
            ::SendInput(static_cast<UINT>(keys.size()), keys.data(), sizeof(INPUT));
        });
        Click(Form, TControl::Button1); // returns when the transfer has ended
    }
};

TEST_F(OnWine, TheTitleIsTheCaptionAndTheImageArrivesThroughTheOpenDialog)
{
    wchar_t title[256] = {};
    ::GetWindowTextW(Form.Handle(), title, 256);
    EXPECT_EQ(std::wstring(title), Wide(Form1Window().Caption));
    ConnectAndInit();
    if (HasFatalFailure()) return;
    FlashTypingThePath(Env("TARVEL_TEST_IMAGE"));
    EXPECT_FALSE(Form.Model.Session.FlashInProgress);
    EXPECT_GT(Form.Model.Session.LineCount, 100);
    EXPECT_TRUE(Errors.empty()) << Errors.front();
    ::SendMessageW(Form.Handle(), WM_CLOSE, 0, 0);
    EXPECT_EQ(Form.Handle(), nullptr);
}

TEST_F(OnWine, StopFlashEndsTheTransferAndClosingMeanwhileIsRefusedWithTheWarning)
{
    ConnectAndInit();
    std::wstring warning;
    After(1500, [&] {
        WhenDialogShows(Wide(TranslateResourceString("Warning")), [&](HWND box) {
            // A message box's text is its longest static text (its icon is one too).
            ::EnumChildWindows(
                box,
                [](HWND child, LPARAM l) CALLBACK -> BOOL {
                    wchar_t className[16] = {}, text[256] = {};
                    ::GetClassNameW(child, className, 16);
                    ::GetWindowTextW(child, text, 256);
                    auto& longest = *reinterpret_cast<std::wstring*>(l);
                    if (std::wstring_view(className) == L"Static" && wcslen(text) > longest.size())
                        longest = text;
                    return TRUE;
                },
                reinterpret_cast<LPARAM>(&warning));
            ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            After(200, [&] { Click(Form, TControl::Button2); }); // Stop Flash
        });
        ::PostMessageW(Form.Handle(), WM_CLOSE, 0, 0);
    });
    const auto start = std::chrono::steady_clock::now();
    FlashTypingThePath(Env("TARVEL_TEST_IMAGE"));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(warning, L"Flash in corso, impossibile fermare. !!!");
    EXPECT_TRUE(::IsWindow(Form.Handle()));
    EXPECT_FALSE(Form.Model.Session.FlashInProgress);
    // The whole image takes over 20 s at 115200 baud; Stop ended it long before.
    EXPECT_LT(took, std::chrono::seconds(15));
}

TEST_F(OnWine, APulledDeviceEndsTheTransferAndTheWindowCanBeClosed)
{
    ConnectAndInit();
    if (HasFatalFailure()) return;
    FlashTypingThePath(Env("TARVEL_TEST_IMAGE"));
    EXPECT_FALSE(Form.Model.Session.FlashInProgress);
    // The port's thread tells of the loss on its own, maybe after the transfer saw it.
    EXPECT_TRUE(RunUntil([&] { return !Form.Model.ComPort.Active(); }, 10000));
    EXPECT_FALSE(Form.Lamp(TControl::slConnexion).LedOn());
    ASSERT_FALSE(Errors.empty());
    EXPECT_NE(Errors.front().find("COM2"), std::string::npos) << Errors.front();
    ::SendMessageW(Form.Handle(), WM_CLOSE, 0, 0);
    EXPECT_EQ(Form.Handle(), nullptr);
}

} // namespace
