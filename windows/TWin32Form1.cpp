#include "windows/TWin32Form1.h"

#include "i18n/TLocalizationModule.h"
#include "session/MillisecondTick.h"
#include "window/ErrorBoxText.h"
#include "windows/TWin32EventLoop.h"
#include "windows/WideText.h"

#include <commctrl.h>
#include <commdlg.h>
#include <dbt.h>

#include <algorithm>
#include <stdexcept>

namespace {

constexpr UINT_PTR RetryTimer = 1;
// The serial-port device interface class (ntddser.h, which needs the driver kit's types).
constexpr GUID SerialPortInterface = {
    0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};
constexpr int RadioItemId = 2000;
// The context menu's commands.
enum : UINT {
    CopyCommand = 1,
    SelectAllCommand,
    ReconnectCommand,
    SaveLogCommand,
    LogEveryCommand
};

std::wstring Translated(std::string_view text)
{
    return Wide(TranslateResourceString(text));
}

// The window's family where the system has it, else the one the Linux window falls back to,
// else the system's message font.
std::wstring WindowFontFamily(std::string_view wanted)
{
    const auto present = [](const std::wstring& family) {
        LOGFONTW query{};
        query.lfCharSet = DEFAULT_CHARSET;
        family.copy(query.lfFaceName, LF_FACESIZE - 1);
        bool found = false;
        const HDC dc = ::GetDC(nullptr);
        ::EnumFontFamiliesExW(
            dc, &query,
            [](const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) CALLBACK -> int {
                *reinterpret_cast<bool*>(found) = true;
                return 0;
            },
            reinterpret_cast<LPARAM>(&found), 0);
        ::ReleaseDC(nullptr, dc);
        return found;
    };
    for (const std::wstring& family : {Wide(wanted), std::wstring(L"Comic Neue")})
        if (present(family)) return family;
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    return metrics.lfMessageFont.lfFaceName;
}

// The window's dots per inch: its monitor's where Windows can tell (10 and later), else the
// system's.
int DpiOf(HWND window)
{
    using TGetDpiForWindow = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = reinterpret_cast<TGetDpiForWindow>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (getDpiForWindow != nullptr && window != nullptr)
        return static_cast<int>(getDpiForWindow(window));
    const HDC dc = ::GetDC(nullptr);
    const int dpi = ::GetDeviceCaps(dc, LOGPIXELSY);
    ::ReleaseDC(nullptr, dc);
    return dpi > 0 ? dpi : 96;
}

std::wstring WindowText(HWND window)
{
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        ::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

void SetWindowTextIfChanged(HWND window, const std::wstring& text)
{
    if (WindowText(window) != text) ::SetWindowTextW(window, text.c_str());
}

// The system's open or save dialog; nullopt when cancelled.
std::optional<std::wstring> AskFileName(HWND owner, bool save, std::wstring_view initial)
{
    std::wstring name(MAX_PATH * 8, L'\0');
    initial.copy(name.data(), name.size() - 1);
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFile = name.data();
    dialog.nMaxFile = static_cast<DWORD>(name.size());
    dialog.Flags = OFN_EXPLORER | OFN_NOCHANGEDIR | OFN_HIDEREADONLY |
                   (save ? OFN_OVERWRITEPROMPT : OFN_PATHMUSTEXIST);
    if (!(save ? ::GetSaveFileNameW(&dialog) : ::GetOpenFileNameW(&dialog))) return std::nullopt;
    return std::wstring(name.c_str());
}

ISerialBackend& BackendOrSystem(ISerialBackend* given, std::unique_ptr<ISerialBackend>& system)
{
    if (given != nullptr) return *given;
    system = SystemSerialBackend();
    return *system;
}

} // namespace

TWin32Form1::TWin32Form1(ISerialBackend* backend)
    : Model(*this, fMainThread, BackendOrSystem(backend, fSystemBackend))
{
    fMainThread.ReportError = [this](const std::exception& error) { ShowError(error.what()); };
    ReportError = [this](const std::string& text) {
        ::MessageBoxW(Handle(), Wide(text).c_str(), L"Tarvel", MB_OK | MB_ICONERROR);
    };
    ShowWarning = [this](const std::string& text) {
        ::MessageBoxW(Handle(), Wide(text).c_str(), Translated("Warning").c_str(),
                      MB_OK | MB_ICONWARNING);
    };
    ChooseFirmwareFile = [this]() -> std::optional<std::string> {
        const auto name = AskFileName(Handle(), false, L"");
        if (!name) return std::nullopt;
        return Utf8(*name);
    };
    ChooseLogFile = [this] { return AskFileName(Handle(), true, L"tarvel.log"); };

    const TFormLayout& window = Form1Window();
    fDpi = DpiOf(nullptr);
    fFontFamily = WindowFontFamily(window.FontFamily);
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    const DWORD exStyle = WS_EX_CONTROLPARENT;
    RECT frame{0, 0, Scaled(window.ClientWidth), Scaled(window.ClientHeight)};
    ::AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    CreateOwnWindow(L"TForm1", exStyle, style, Wide(window.Caption).c_str(),
                    RECT{Scaled(window.Left), Scaled(window.Top),
                         Scaled(window.Left) + frame.right - frame.left,
                         Scaled(window.Top) + frame.bottom - frame.top},
                    nullptr, 0, ::GetSysColorBrush(COLOR_BTNFACE));
    fDpi = DpiOf(Handle());
    CreateControls();
    PlaceControls();

    Model.SessionLog.SetFolder(TSessionLog::DefaultFolder());
    fTerminal.ShowNotice = [this](const std::wstring& text) {
        ::MessageBoxW(Handle(), text.c_str(), Translated("Copy").c_str(),
                      MB_OK | MB_ICONINFORMATION);
    };
    fTrackBar.OnChange = [this] { Guard([&] { Model.TipTrackBar1Change(fTrackBar.Position()); }); };
    Guard([this] { Model.FormCreate(); });
}

TWin32Form1::~TWin32Form1()
{
    if (fDeviceNotification != nullptr) ::UnregisterDeviceNotification(fDeviceNotification);
}

void TWin32Form1::Show(int how)
{
    ::ShowWindow(Handle(), how);
    ::UpdateWindow(Handle());
    Model.WindowShown();
}

template <typename THandler> void TWin32Form1::Guard(THandler&& handler)
{
    try {
        handler();
    } catch (const std::exception& error) {
        ShowError(error.what());
    }
}

int TWin32Form1::Scaled(int pixels) const
{
    return ::MulDiv(pixels, fDpi, 96);
}

HFONT TWin32Form1::FontFor(int pixelSize, bool bold)
{
    auto [at, made] = fFonts.try_emplace({pixelSize, bold});
    if (made) {
        LOGFONTW font{};
        font.lfHeight = -Scaled(pixelSize);
        font.lfWeight = bold ? FW_BOLD : FW_NORMAL;
        font.lfCharSet = DEFAULT_CHARSET;
        font.lfQuality = CLEARTYPE_QUALITY;
        fFontFamily.copy(font.lfFaceName, LF_FACESIZE - 1);
        at->second = TGdiObject(::CreateFontIndirectW(&font));
    }
    return static_cast<HFONT>(at->second.Get());
}

TWin32Led& TWin32Form1::Lamp(TControl lamp)
{
    switch (lamp) {
    case TControl::slConnexion:
        return fConnexionLamp;
    case TControl::pelLed1:
        return fSendLamp;
    case TControl::pelLed2:
        return fReceiveLamp;
    default:
        throw std::logic_error("not a lamp");
    }
}

// --- making the controls

void TWin32Form1::CreateControls()
{
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    const auto make = [&](const wchar_t* windowClass, DWORD style, DWORD exStyle,
                          const TControlLayout& layout, int id) {
        const HWND control = ::CreateWindowExW(
            exStyle, windowClass, Wide(layout.Text).c_str(), WS_CHILD | style, 0, 0, 0, 0, Handle(),
            reinterpret_cast<HMENU>(INT_PTR(id)), instance, nullptr);
        if (control == nullptr)
            throw std::runtime_error("cannot make the control " + std::string(layout.Name));
        return control;
    };
    for (const TControlLayout& layout : Form1Layout()) {
        const int id = ControlId(layout.Id);
        const DWORD shown = layout.Visible ? WS_VISIBLE : 0;
        const DWORD tab = layout.TabOrder >= 0 ? WS_TABSTOP : 0;
        const RECT none{0, 0, 0, 0};
        HWND control = nullptr;
        switch (layout.Class) {
        case TControlClass::Gauge:
            fGauge.Create(Handle(), none, id);
            control = fGauge.Handle();
            break;
        case TControlClass::Led:
            Lamp(layout.Id).Create(Handle(), none, id);
            Lamp(layout.Id).SetOnColor(layout.Colours.On);
            Lamp(layout.Id).SetOffColor(layout.Colours.Off);
            control = Lamp(layout.Id).Handle();
            break;
        case TControlClass::Label:
            control = make(L"STATIC", shown | (layout.Centred ? SS_CENTER : SS_LEFT) | SS_NOPREFIX,
                           0, layout, id);
            break;
        case TControlClass::Panel: // a lowered inner bevel; a panel takes no focus
            control = make(L"STATIC", shown | SS_CENTER | SS_CENTERIMAGE | SS_SUNKEN | SS_NOPREFIX,
                           0, layout, id);
            break;
        case TControlClass::SpeedButton: // never a tab stop
            control = make(L"BUTTON", shown | BS_PUSHBUTTON, 0, layout, id);
            break;
        case TControlClass::Button:
            control =
                make(L"BUTTON", shown | tab | (layout.Default ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON),
                     0, layout, id);
            break;
        case TControlClass::CheckBox:
            control = make(L"BUTTON", shown | tab | BS_AUTOCHECKBOX, 0, layout, id);
            ::SendMessageW(control, BM_SETCHECK, layout.Checked ? BST_CHECKED : BST_UNCHECKED, 0);
            break;
        case TControlClass::Edit:
            control = make(L"EDIT", shown | tab | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, layout, id);
            break;
        case TControlClass::Memo:
            control = make(L"EDIT", shown | ES_MULTILINE | ES_READONLY | WS_VSCROLL,
                           WS_EX_CLIENTEDGE, layout, id);
            break;
        case TControlClass::ComboBox: {
            control = make(L"COMBOBOX", shown | tab | CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL,
                           0, layout, id);
            for (const std::string_view item : layout.Items)
                ::SendMessageW(control, CB_ADDSTRING, 0,
                               reinterpret_cast<LPARAM>(Wide(item).c_str()));
            ::SendMessageW(control, CB_SETCURSEL, static_cast<WPARAM>(layout.Selected), 0);
            break;
        }
        case TControlClass::RadioGroup: {
            control = make(L"BUTTON", shown | BS_GROUPBOX, 0, layout, id);
            for (std::size_t i = 0; i < layout.Items.size() && i < fRadioItems.size(); ++i) {
                TControlLayout item = layout;
                item.Text = layout.Items[i];
                fRadioItems[i] =
                    make(L"BUTTON", shown | BS_AUTORADIOBUTTON | (i == 0 ? WS_GROUP | tab : 0), 0,
                         item, RadioItemId + static_cast<int>(i));
                ::SendMessageW(fRadioItems[i], BM_SETCHECK,
                               static_cast<int>(i) == layout.Selected ? BST_CHECKED : BST_UNCHECKED,
                               0);
            }
            break;
        }
        case TControlClass::TipTrackBar:
            fTrackBar.Create(Handle(), none, id, layout.Visible);
            fTrackBar.SetMax(layout.Max);
            fTrackBar.SetPosition(layout.Position);
            control = fTrackBar.Handle();
            break;
        case TControlClass::Terminal:
            fTerminal.Create(Handle(), none, id, FontFor(layout.FontSize, layout.Bold),
                             layout.TextColour, layout.BackColour);
            control = fTerminal.Handle();
            break;
        }
        ::EnableWindow(control, layout.Enabled);
        fControls[static_cast<std::size_t>(layout.Id)] = control;
    }
    // The layout's tab order: each control after the one before it.
    HWND after = HWND_TOP;
    for (const TControlLayout* layout : Form1TabStops()) {
        const HWND control = layout->Id == TControl::rgAuto ? fRadioItems[0] : Control(layout->Id);
        ::SetWindowPos(control, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        after = control;
        if (layout->Id == TControl::rgAuto) {
            ::SetWindowPos(fRadioItems[1], after, 0, 0, 0, 0,
                           SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
            after = fRadioItems[1];
        }
    }
}

// Places and sizes every control and gives it its font at the window's density.
void TWin32Form1::PlaceControls()
{
    const int windowFont = Form1Window().FontSize;
    for (const TControlLayout& layout : Form1Layout()) {
        const HWND control = Control(layout.Id);
        // A drop-down box's height includes its list.
        const int height =
            layout.Class == TControlClass::ComboBox ? layout.Height + 200 : layout.Height;
        ::MoveWindow(control, Scaled(layout.Left), Scaled(layout.Top), Scaled(layout.Width),
                     Scaled(height), TRUE);
        const HFONT font = layout.FontSize == 0 ? FontFor(windowFont, false)
                                                : FontFor(layout.FontSize, layout.Bold);
        ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
        if (layout.Class == TControlClass::Gauge) fGauge.SetFont(font);
        if (layout.Id == TControl::ComboBox1)
            ::SendMessageW(control, CB_SETDROPPEDWIDTH, Scaled(420), 0); // descriptions are wide
        if (layout.Class != TControlClass::RadioGroup) continue;
        // Columns sharing the box's inner width, below the caption.
        const int columns = static_cast<int>(layout.Items.size());
        const int columnWidth = (layout.Width - 16) / columns;
        for (int i = 0; i < columns && i < static_cast<int>(fRadioItems.size()); ++i) {
            const HWND item = fRadioItems[static_cast<std::size_t>(i)];
            ::MoveWindow(item, Scaled(layout.Left + 8 + columnWidth * i), Scaled(layout.Top + 13),
                         Scaled(columnWidth), Scaled(16), TRUE);
            ::SendMessageW(item, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
        }
    }
}

// --- what comes from the controls

bool TWin32Form1::PreTranslate(MSG& message)
{
    if (Handle() == nullptr) return false;
    if (message.hwnd != Handle() && !::IsChild(Handle(), message.hwnd)) return false;
    const HWND portBox = Control(TControl::ComboBox1);
    if (message.message == WM_KEYDOWN && message.wParam == VK_RETURN &&
        (message.hwnd == portBox || ::GetParent(message.hwnd) == portBox)) {
        // A typed device is chosen with Return; the key goes no further.
        Guard([&] { Model.PortTyped(Utf8(WindowText(portBox))); });
        return true;
    }
    if (message.message == WM_CHAR && message.wParam == L'\r' &&
        ::GetParent(message.hwnd) == portBox)
        return true; // the beep of an edit that takes no Return
    return ::IsDialogMessageW(Handle(), &message) != FALSE;
}

void TWin32Form1::Command(int id, int code, HWND from)
{
    if (id >= RadioItemId && id < RadioItemId + static_cast<int>(fRadioItems.size())) {
        if (code == BN_CLICKED) Guard([&] { Model.rgAutoClick(ItemIndex(TControl::rgAuto)); });
        return;
    }
    if (id < 1000 || id >= 1000 + static_cast<int>(ControlCount)) return;
    const auto control = static_cast<TControl>(id - 1000);
    if (control == TControl::ComboBox1 || control == TControl::cbbTypeFlash) {
        const bool ports = control == TControl::ComboBox1;
        bool& typed = fTyped[ports ? 0 : 1];
        if (code == CBN_DROPDOWN && ports) Guard([&] { Model.RefreshPortList(); });
        if (fQuiet || (code != CBN_SELCHANGE && code != CBN_EDITCHANGE)) return;
        typed = code == CBN_EDITCHANGE;
        const int index = ItemIndex(control);
        Guard([&] {
            if (ports)
                Model.ComboBox1Change(index);
            else
                Model.cbbTypeFlashChange(index);
        });
        return;
    }
    wchar_t className[16] = {};
    ::GetClassNameW(from, className, 16);
    if (code == BN_CLICKED && std::wstring_view(className) == L"Button")
        Guard([&] { Model.Click(control); });
}

void TWin32Form1::ShowTerminalMenu(POINT at)
{
    const HMENU menu = ::CreatePopupMenu();
    const auto add = [&](UINT command, std::string_view text, bool checked, bool enabled = true) {
        ::AppendMenuW(menu, MF_STRING | (checked ? MF_CHECKED : 0) | (enabled ? 0 : MF_GRAYED),
                      command, Translated(text).c_str());
    };
    add(CopyCommand, "&Copy", false, fTerminal.HasSelection());
    add(SelectAllCommand, "Select All", false);
    ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    add(ReconnectCommand, "Reconnect automatically", Model.ReconnectAutomatically());
    add(SaveLogCommand, "Save log…", false);
    ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    add(LogEveryCommand, "Log every session", Model.SessionLog.Enabled());
    if (at.x == -1 && at.y == -1) { // from the keyboard: at the pane's corner
        at = POINT{0, 0};
        ::ClientToScreen(fTerminal.Handle(), &at);
    }
    const UINT chosen = static_cast<UINT>(::TrackPopupMenu(
        menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, at.x, at.y, 0, Handle(), nullptr));
    ::DestroyMenu(menu);
    Guard([&] {
        switch (chosen) {
        case CopyCommand:
            fTerminal.CopySelection();
            break;
        case SelectAllCommand:
            fTerminal.SelectAll();
            break;
        case ReconnectCommand:
            Model.SetReconnectAutomatically(!Model.ReconnectAutomatically());
            break;
        case SaveLogCommand:
            if (const auto path = ChooseLogFile()) fTerminal.SaveLog(*path);
            break;
        case LogEveryCommand:
            Model.SetLogEverySession(!Model.SessionLog.Enabled());
            break;
        default:
            return;
        }
        if (chosen == ReconnectCommand && RememberSettings) RememberSettings();
    });
}

LRESULT TWin32Form1::HandleMessage(UINT message, WPARAM w, LPARAM l)
{
    switch (message) {
    case WM_COMMAND:
        Command(LOWORD(w), HIWORD(w), reinterpret_cast<HWND>(l));
        return 0;
    case WM_HSCROLL:
        if (reinterpret_cast<HWND>(l) == fTrackBar.Handle()) fTrackBar.Scrolled(LOWORD(w));
        return 0;
    case WM_NOTIFY: {
        LRESULT result = 0;
        if (fTrackBar.Handle() != nullptr &&
            fTrackBar.Notified(*reinterpret_cast<NMHDR*>(l), result))
            return result;
        break;
    }
    case DM_GETDEFID: // Return clicks "Invia linea" unless a button has the focus
        return MAKELRESULT(ControlId(TControl::Button_Send), DC_HASDEFID);
    case WM_CONTEXTMENU:
        if (reinterpret_cast<HWND>(w) == fTerminal.Handle()) {
            ShowTerminalMenu(POINT{static_cast<short>(LOWORD(l)), static_cast<short>(HIWORD(l))});
            return 0;
        }
        break;
    case WM_CLOSE: {
        bool close = false;
        Guard([&] { close = Model.WindowCloseRequested(); });
        if (close) ::DestroyWindow(Handle());
        return 0;
    }
    case WM_DESTROY:
        ::PostQuitMessage(0);
        return 0;
    case WM_TIMER:
        if (w == RetryTimer) {
            ::KillTimer(Handle(), RetryTimer);
            Guard([this] { Model.DevicesChanged(); });
        }
        return 0;
    case WM_DEVICECHANGE:
        // A port came or went: the model looks whether the one it waits for is back.
        if (fWatching &&
            (w == DBT_DEVICEARRIVAL || w == DBT_DEVICEREMOVECOMPLETE || w == DBT_DEVNODES_CHANGED))
            Guard([this] { Model.DevicesChanged(); });
        return TRUE;
    case WM_DPICHANGED: {
        fDpi = HIWORD(w);
        fFonts.clear();
        const auto* suggested = reinterpret_cast<const RECT*>(l);
        ::SetWindowPos(Handle(), nullptr, suggested->left, suggested->top,
                       suggested->right - suggested->left, suggested->bottom - suggested->top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
        PlaceControls();
        return 0;
    }
    default:
        break;
    }
    return TWin32Window::HandleMessage(message, w, l);
}

// --- IForm1View

void TWin32Form1::SetText(TControl control, std::string_view text)
{
    switch (control) {
    case TControl::TipTrackBar1:
        fTrackBar.SetHint(Wide(text));
        return;
    case TControl::Memo1: { // an edit control's lines end with CR LF
        // Hidden, it keeps the text for Text() without an edit control laying out tens of
        // kilobytes of one line at every transfer's end.
        fMemoText = std::string(text);
        if (!::IsWindowVisible(Control(control))) return;
        std::wstring lines;
        for (const wchar_t c : Wide(text)) {
            if (c == L'\n') lines.push_back(L'\r');
            lines.push_back(c);
        }
        SetWindowTextIfChanged(Control(control), lines);
        return;
    }
    default:
        SetWindowTextIfChanged(Control(control), Wide(text));
        return;
    }
}

void TWin32Form1::SetEnabled(TControl control, bool enabled)
{
    ::EnableWindow(Control(control), enabled);
    if (control == TControl::rgAuto)
        for (const HWND item : fRadioItems)
            ::EnableWindow(item, enabled);
}

void TWin32Form1::SetLedOn(TControl lamp, bool on)
{
    Lamp(lamp).SetLedOn(on);
}

void TWin32Form1::SetProgress(int percent)
{
    fGauge.SetProgress(percent);
}

std::string TWin32Form1::Text(TControl control) const
{
    if (control == TControl::Memo1 && !::IsWindowVisible(Control(control))) return fMemoText;
    return Utf8(WindowText(Control(control)));
}

int TWin32Form1::ItemIndex(TControl control) const
{
    if (control == TControl::rgAuto) {
        for (std::size_t i = 0; i < fRadioItems.size(); ++i)
            if (::SendMessageW(fRadioItems[i], BM_GETCHECK, 0, 0) == BST_CHECKED)
                return static_cast<int>(i);
        return -1;
    }
    if (control == TControl::ComboBox1 && fTyped[0]) return -1;
    if (control == TControl::cbbTypeFlash && fTyped[1]) return -1;
    return static_cast<int>(::SendMessageW(Control(control), CB_GETCURSEL, 0, 0));
}

bool TWin32Form1::Checked(TControl control) const
{
    return ::SendMessageW(Control(control), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TWin32Form1::ShowPortItems(std::span<const TPortItem> items, int chosen)
{
    const HWND box = Control(TControl::ComboBox1);
    fQuiet = true; // showing the choice is no new choice
    const std::wstring typed = WindowText(box);
    ::SendMessageW(box, CB_RESETCONTENT, 0, 0);
    for (const TPortItem& item : items)
        ::SendMessageW(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(item.Text).c_str()));
    if (chosen >= 0) {
        ::SendMessageW(box, CB_SETCURSEL, static_cast<WPARAM>(chosen), 0);
        fTyped[0] = false;
    } else {
        ::SetWindowTextW(box, typed.c_str());
    }
    fQuiet = false;
}

void TWin32Form1::ShowWarningBox(std::string_view text)
{
    ShowWarning(std::string(text));
}

void TWin32Form1::ShowError(std::string_view message)
{
    ReportError(ErrorBoxText(message));
}

std::optional<std::string> TWin32Form1::AskForFirmwareFile()
{
    return ChooseFirmwareFile();
}

void TWin32Form1::Close()
{
    ::SendMessageW(Handle(), WM_CLOSE, 0, 0);
}

std::string TWin32Form1::TimeOfDayText(int hours, int minutes, int seconds) const
{
    SYSTEMTIME time{};
    time.wHour = static_cast<WORD>(hours);
    time.wMinute = static_cast<WORD>(minutes);
    time.wSecond = static_cast<WORD>(seconds);
    wchar_t text[64] = {};
    if (::GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &time, nullptr, text, 64) == 0) return {};
    return Utf8(text);
}

void TWin32Form1::Delay(std::uint32_t ms)
{
    TWin32EventLoop::Delay(ms, MillisecondTick);
}

void TWin32Form1::HandleEventsUntil(const std::function<bool()>& done)
{
    while (!done() && !TWin32EventLoop::Quitting())
        TWin32EventLoop::HandleNextMessages();
}

void TWin32Form1::WatchForDevices(std::span<const std::string> paths)
{
    fWatching = !paths.empty();
    if (!fWatching || fDeviceNotification != nullptr) return;
    // Serial ports' arrival and removal; other ports' come to every window anyway.
    DEV_BROADCAST_DEVICEINTERFACE_W filter{};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = SerialPortInterface;
    fDeviceNotification =
        ::RegisterDeviceNotificationW(Handle(), &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

void TWin32Form1::CallDevicesChangedAfter(std::uint32_t ms)
{
    ::KillTimer(Handle(), RetryTimer);
    if (ms > 0) ::SetTimer(Handle(), RetryTimer, ms, nullptr);
}
