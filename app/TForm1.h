#pragma once
// The program's one window on Qt: creates the controls of the layout, draws them, and forwards
// every click, key and notification to the window's model, which holds the rules.

#include "app/TForm1Controls.h"
#include "app/TQtMainThreadExecutor.h"
#include "app/TTerminalView.h"
#include "serial/TQorComPort.h"
#include "system/TDeviceWatch.h"
#include "window/TForm1Model.h"

#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TForm1 : public QWidget, public TForm1Controls, private IForm1View
{
    Q_OBJECT
public:
    // Ports open through `backend` when one is given (tests), else on the system's devices.
    explicit TForm1(QWidget* parent = nullptr, ISerialBackend* backend = nullptr);
    ~TForm1() override;

private:
    TQtMainThreadExecutor fMainThread; // declared before the model: it must outlive the port
    std::unique_ptr<ISerialBackend> fSystemBackend; // unless a backend was given

public:
    // The window's rules; the Qt controls above only show what it says.
    TForm1Model Model;
    TQorComPort& ComPort = Model.ComPort;
    TBootLoaderSession& Session = Model.Session;

    // The window's state shared by the terminal and the transfer (the session's, under the
    // names the window's handlers have always used).
    bool& StopRequested = Session.StopRequested;
    bool& FlashInProgress = Session.FlashInProgress;
    bool& Armed = Session.Armed;
    bool& ReplyReceived = Session.ReplyReceived;
    std::chrono::system_clock::time_point& StartTime = Model.StartTime;
    std::int32_t& LineCount = Session.LineCount;
    std::int32_t& WindowCount = Session.WindowCount;
    bool& TransferRunning = Session.TransferRunning; // also after Stop, until the loop has ended

    // Selected item of a combo box, or -1 when its text was typed rather than chosen.
    static int SelectedIndex(const QComboBox* box);
    // Selected item of rgAuto, or -1.
    int rgAutoItemIndex() const;

    // Called with each port the user chooses, to remember it (QSettings by default).
    std::function<void(const QString& path)> RememberPort;

    // Reconnecting by itself after a lost device; the terminal's context menu switches it.
    void SetReconnectAutomatically(bool value) { Model.SetReconnectAutomatically(value); }
    bool ReconnectAutomatically() const { return Model.ReconnectAutomatically(); }
    bool WaitingForDevice() const { return Model.WaitingForDevice(); }
    std::function<void(bool)> RememberReconnect;

    // The log of every connection: the terminal's context menu switches it, chooses its folder
    // and the days its files are kept; each change is remembered through RememberSessionLog.
    void SetLogEverySession(bool on) { Model.SetLogEverySession(on); }
    TSessionLog& SessionLog = Model.SessionLog;
    std::function<void()> RememberSessionLog;
    // Ask for the log folder (by default a folder dialog) and the days to keep (by default a
    // number box); empty when cancelled.
    std::function<std::optional<QString>()> ChooseLogFolder;
    std::function<std::optional<int>()> AskLogDays;
    // The terminal's context menu: the pane's own actions and the window's.
    std::unique_ptr<QMenu> CreateTerminalContextMenu();

    // Asks where to save the log; by default a file dialog. Empty when cancelled.
    std::function<std::optional<QString>()> ChooseLogFile;
    // Shows a modal warning (replaceable for tests; by default a QMessageBox with one OK button).
    std::function<void(const QString& text)> ShowWarning;
    // Asks for the firmware file; by default runs OpenDialog1 modally. Empty when cancelled.
    std::function<std::optional<QString>()> ChooseFirmwareFile;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void ConnectHandlers();
    void ShowTerminalContextMenu(const QPoint& at);

    // IForm1View
    void SetText(TControl control, std::string_view text) override;
    void SetEnabled(TControl control, bool enabled) override;
    void SetLedOn(TControl lamp, bool on) override;
    void SetProgress(int percent) override;
    std::string Text(TControl control) const override;
    int ItemIndex(TControl control) const override;
    bool Checked(TControl control) const override;
    void ShowPortItems(std::span<const TPortItem> items, int chosen) override;
    ITerminalSink& Terminal() override;
    void ShowWarningBox(std::string_view text) override;
    void ShowError(std::string_view message) override;
    std::optional<std::string> AskForFirmwareFile() override;
    void Close() override;
    std::string TimeOfDayText(int hours, int minutes, int seconds) const override;
    void Delay(std::uint32_t ms) override;
    void HandleEventsUntil(const std::function<bool()>& done) override;
    void WatchForDevices(std::span<const std::string> paths) override;
    void CallDevicesChangedAfter(std::uint32_t ms) override;

    std::vector<std::string> fWatchedPaths;
    std::unique_ptr<TDeviceWatch> fDeviceWatch; // while a lost device is waited for
    std::unique_ptr<QSocketNotifier> fDeviceNotifier;
    QTimer fRetryTimer; // the next try of a port across the network
};
