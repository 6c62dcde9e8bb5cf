#pragma once
// The window's rules without a toolkit: its handlers, which controls are enabled and lit, the
// port choice, reconnecting, closing, and where each report of the session lands. A front end
// creates the controls from Form1Layout(), implements IForm1View and forwards every click, key
// and notification to the handler of the same name here.

#include "serial/SerialPortList.h"
#include "serial/TQorComPort.h"
#include "session/TBootLoaderSession.h"
#include "window/Form1Layout.h"
#include "window/ITerminalSink.h"
#include "window/TSessionLog.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// An item of the port box: "Com1", "Com2", or a device with its path.
struct TPortItem
{
    std::string Text;
    std::string Path; // empty for "Com1" and "Com2"
    bool operator==(const TPortItem&) const = default;
};

// Where the model learns of the ports present: the system's listing unless a test gives its own.
struct TPortSource
{
    std::function<std::vector<TPortListing>()> Describe = [] { return DescribeSerialPorts(); };
    std::function<std::vector<std::string>()> List = [] { return ListSerialPorts(); };
    std::function<std::optional<TUsbIdentity>(const std::string&)> Identity =
        [](const std::string& path) { return UsbIdentity(path); };
    std::function<bool(const std::string&)> Present = SerialPortPresent;
};

// What a front end does for the model. Texts are UTF-8; received bytes go as they came (code
// page 1252, shown one character per byte).
class IForm1View
{
public:
    virtual ~IForm1View() = default;

    // --- the controls
    virtual void SetText(TControl control, std::string_view text) = 0; // panels, hints, logs
    virtual void SetEnabled(TControl control, bool enabled) = 0;
    virtual void SetLedOn(TControl lamp, bool on) = 0;
    virtual void SetProgress(int percent) = 0;
    virtual std::string Text(TControl control) const = 0; // what was typed in an edit
    virtual int ItemIndex(TControl control) const = 0;    // the item chosen, -1 when typed/none
    virtual bool Checked(TControl control) const = 0;
    // The port box's items and the one chosen; -1 keeps the text typed in the box.
    virtual void ShowPortItems(std::span<const TPortItem> items, int chosen) = 0;

    // The terminal control (reTerminal), which received bytes reach without another stop.
    virtual ITerminalSink& Terminal() = 0;

    // --- dialogs, the window, time
    virtual void ShowWarningBox(std::string_view text) = 0;      // modal, one OK button
    virtual void ShowError(std::string_view message) = 0;        // the error box
    virtual std::optional<std::string> AskForFirmwareFile() = 0; // nullopt: cancelled
    virtual void Close() = 0;
    // A time of day the way the user's locale writes one in its long form.
    virtual std::string TimeOfDayText(int hours, int minutes, int seconds) const = 0;
    // Keeps the window alive for ms milliseconds, handling events meanwhile.
    virtual void Delay(std::uint32_t ms) = 0;
    // Handles events until done() holds, sleeping until each comes: only an event (an answer,
    // a click, a lost device) can change it.
    virtual void HandleEventsUntil(const std::function<bool()>& done) = 0;
    // Calls DevicesChanged() whenever something changes where these devices appear; an empty
    // list ends the watch.
    virtual void WatchForDevices(std::span<const std::string> paths) = 0;
    // Calls DevicesChanged() once, ms milliseconds from now (0: not at all): a port across the
    // network is tried again, since nothing on this machine tells when its server is back.
    virtual void CallDevicesChangedAfter(std::uint32_t ms) = 0;
};

class TForm1Model : private ISessionWaiter, private ISessionView
{
public:
    // The port's notifications reach the model through executor; devices open through backend.
    TForm1Model(IForm1View& view, IMainThreadExecutor& executor, ISerialBackend& backend);
    ~TForm1Model() override;
    TForm1Model(const TForm1Model&) = delete;
    TForm1Model& operator=(const TForm1Model&) = delete;

    TQorComPort ComPort;
    TBootLoaderSession Session;
    // When the running (or last) transfer started.
    std::chrono::system_clock::time_point StartTime{};

    // --- handlers of the window's layout
    // A click on a button of the layout runs its handler (nothing for other controls).
    void Click(TControl control);
    void FormCreate();
    void FormCloseQuery(bool& CanClose);
    void ComboBox1Change(int index); // the item chosen, -1 while text is typed
    void Button_OpenClick();
    void Button5Click();
    void Button_SendClick();
    void SpeedButton1Click() { SpeedButtonClick('1'); }
    void SpeedButton2Click() { SpeedButtonClick('2'); }
    void SpeedButton3Click() { SpeedButtonClick('3'); }
    void SpeedButton4Click() { SpeedButtonClick('4'); }
    void SpeedButton5Click() { SpeedButtonClick('5'); }
    void Button4Click();
    void Button3Click();
    void Button1Click();
    void Button2Click();
    void rgAutoClick(int index);        // the radio group's item now chosen
    void cbbTypeFlashChange(int index); // the flash type chosen, -1 while text is typed
    void ComPortError(std::uint32_t Error);
    void TipTrackBar1Change(int position);

    // --- the port box beyond "Com1" and "Com2"
    // Text typed into the box and confirmed with Return: a device path, or "Com1"/"Com2"; on
    // Windows COM12, com12 and \\.\COM12 are the same port.
    void PortTyped(std::string_view text);
    // Lists the devices present again, from Ports.
    void RefreshPortList();
    // The same from sysfs below other roots: devDir and sysClassTty stand for /dev and
    // /sys/class/tty.
    void RefreshPortList(const std::string& devDir, const std::string& sysClassTty);
    // Chooses a device by its path (or "Com1"/"Com2") without remembering it.
    void SelectPort(std::string_view path);
    TPortSource Ports;
    std::span<const TPortItem> PortItems() const { return fPortItems; }
    // Called with each port the user chooses, to remember it.
    std::function<void(const std::string& path)> RememberPort;

    // --- reconnecting by itself
    void SetReconnectAutomatically(bool value);
    bool ReconnectAutomatically() const { return fReconnect; }
    bool WaitingForDevice() const { return fWaiting; }
    void DevicesChanged(); // the watch asked for with WatchForDevices saw a change
    std::function<void(bool)> RememberReconnect;

    // --- the log of every connection
    // Its folder and days are set on it directly; the switch through here, which starts or
    // ends the log of a port already open.
    TSessionLog SessionLog;
    void SetLogEverySession(bool on);
    // Called after the switch changes, to remember it.
    std::function<void(bool)> RememberLogEverySession;

    // --- closing
    // The window was asked to close: false when it must stay. Closing releases the port, or
    // (a transfer still ending after Stop Flash) lets that transfer release it when it ends.
    bool WindowCloseRequested();
    void WindowShown(); // shown again: reports are for the operator once more
    bool WindowClosing() const { return fWindowClosing; }

    // The elapsed time of a transfer as Panel2 shows it (a day or more wraps like a clock).
    std::string ElapsedTimeText(std::int64_t seconds) const;

private:
    void SpeedButtonClick(char digit);
    void ShowConnected(const std::string& path);
    void ShowDisconnected();
    void SaySessionLogStopped(const std::optional<std::string>& why);
    void WaitForDevice(const std::string& path);
    void StopWaitingForDevice();
    void ReconnectIfBack();
    void CloseForClosingWindow();
    bool ChoosePortItem(int index); // false for no item
    void ShowPortListing(const std::vector<TPortListing>& ports);

    // ISessionWaiter, ISessionView: the session's reports in the layout's controls.
    void Delay(std::uint32_t ms) override;
    void WaitUntil(const std::function<bool()>& done, std::uint32_t pollMs) override;
    void ShowLamps(bool sending, bool receiving) override;
    void ShowStatus(std::string_view text) override;
    void ShowElapsedSeconds(std::int64_t seconds) override;
    void ShowLineCount(std::int32_t lines) override;
    void ShowFileName(std::string_view name) override;
    void TransferStarted() override { StartTime = std::chrono::system_clock::now(); }
    void ShowProgress(int percent) override;
    void EnableFlash() override;
    void ShowReceived(std::string_view bytes) override;
    void ReplaceTerminal(std::string_view text) override;
    void ShowLatestAnswer(std::string_view firstBytes) override;
    void ShowCollectedAnswer(std::string_view answer) override;
    void ShowChunkLog(std::string_view log) override;
    void ChunkReceived(std::string_view bytes) override;

    IForm1View& fView;
    std::vector<TPortItem> fPortItems;
    std::string fConnectedDevicePath; // what the open port was opened on, for messages
    std::string fConnectedSerial;     // its USB serial number, while sysfs can still tell it
    bool fReconnect = false;
    bool fWaiting = false;
    std::string fAwaitedPath;
    std::string fAwaitedSerial;
    std::uint32_t fRetryMs = 0; // a port across the network: the wait before the next try
    bool fWindowClosing = false;
};
