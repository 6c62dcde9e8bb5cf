#pragma once
// The program's one window on Win32: creates the controls of the layout with the system's own
// controls and the drawn lamp, gauge and terminal, and forwards every click, key and notification
// to the window's model, which holds the rules.

#include "serial/ISerialBackend.h"
#include "window/TForm1Model.h"
#include "windows/TWin32Gauge.h"
#include "windows/TWin32Led.h"
#include "windows/TWin32MainThreadExecutor.h"
#include "windows/TWin32Terminal.h"
#include "windows/TWin32TrackBar.h"
#include "windows/TWin32Window.h"

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TWin32Form1 : public TWin32Window, private IForm1View
{
public:
    // Ports open through `backend` when one is given (tests), else on the system's devices.
    explicit TWin32Form1(ISerialBackend* backend = nullptr);
    ~TWin32Form1() override;

    void Show(int how);

private:
    // The controls are declared before the model: closing its port on the way out still shows
    // on them.
    static constexpr std::size_t ControlCount = static_cast<std::size_t>(TControl::pelLed2) + 1;
    std::array<HWND, ControlCount> fControls{};
    std::array<HWND, 2> fRadioItems{};
    TWin32Led fConnexionLamp, fSendLamp, fReceiveLamp;
    TWin32Gauge fGauge;
    TWin32Terminal fTerminal;
    TWin32TrackBar fTrackBar;
    std::map<std::pair<int, bool>, TGdiObject> fFonts; // pixel size (at 96 dpi), bold
    TWin32MainThreadExecutor fMainThread;              // it must outlive the port too
    std::unique_ptr<ISerialBackend> fSystemBackend;

public:
    TForm1Model Model;

    // The control made for a layout row (a radio group's frame for rgAuto).
    HWND Control(TControl control) const { return fControls[static_cast<std::size_t>(control)]; }
    HWND RadioItem(int index) const { return fRadioItems[static_cast<std::size_t>(index)]; }
    TWin32Led& Lamp(TControl lamp);
    TWin32Gauge& Gauge() { return fGauge; }
    TWin32Terminal& TerminalPane() { return fTerminal; }
    TWin32TrackBar& TrackBar() { return fTrackBar; }
    static int ControlId(TControl control) { return 1000 + static_cast<int>(control); }

    // Replaceable for tests: the error box, the warning box and the file and folder choices.
    std::function<void(const std::string& text)> ReportError;
    std::function<void(const std::string& text)> ShowWarning;
    std::function<std::optional<std::string>()> ChooseFirmwareFile;
    std::function<std::optional<std::wstring>()> ChooseLogFile;
    // Called after a switch of the context menu or the port choice changed, to remember it.
    std::function<void()> RememberSettings;

    // Keys the window takes before the dialog navigation: Return in the port box.
    bool PreTranslate(MSG& message);

protected:
    LRESULT HandleMessage(UINT message, WPARAM w, LPARAM l) override;

private:
    void CreateControls();
    void PlaceControls();
    HFONT FontFor(int pixelSize, bool bold);
    int Scaled(int pixels) const;
    void Command(int id, int code, HWND from);
    void ShowTerminalMenu(POINT at);
    template <typename THandler> void Guard(THandler&& handler);

    // IForm1View
    void SetText(TControl control, std::string_view text) override;
    void SetEnabled(TControl control, bool enabled) override;
    void SetLedOn(TControl lamp, bool on) override;
    void SetProgress(int percent) override;
    std::string Text(TControl control) const override;
    int ItemIndex(TControl control) const override;
    bool Checked(TControl control) const override;
    void ShowPortItems(std::span<const TPortItem> items, int chosen) override;
    ITerminalSink& Terminal() override { return fTerminal; }
    void ShowWarningBox(std::string_view text) override;
    void ShowError(std::string_view message) override;
    std::optional<std::string> AskForFirmwareFile() override;
    void Close() override;
    std::string TimeOfDayText(int hours, int minutes, int seconds) const override;
    void Delay(std::uint32_t ms) override;
    void HandleEventsUntil(const std::function<bool()>& done) override;
    void WatchForDevices(std::span<const std::string> paths) override;
    void CallDevicesChangedAfter(std::uint32_t ms) override;

    std::wstring fFontFamily;
    int fDpi = 96;
    std::array<bool, 2> fTyped{}; // ComboBox1, cbbTypeFlash: text typed since the last choice
    bool fQuiet = false;          // the program, not the user, is changing a box
    std::string fMemoText;        // the hidden chunk log
    HANDLE fDeviceNotification = nullptr;
    bool fWatching = false;
};
