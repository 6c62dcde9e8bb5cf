#pragma once
// The program's one window on Qt: creates the controls of the layout, draws them, and forwards
// every click, key and notification to the window's model, which holds the rules.

#include "app/QtMainThreadExecutor.h"
#include "app/TTerminalView.h"
#include "serial/TQorComPort.h"
#include "system/TDeviceWatch.h"
#include "window/TForm1Model.h"

#include <QSocketNotifier>
#include <QWidget>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QFileDialog;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QToolButton;
class TGauge;
class TpelLed;
class TTipTrackBar;

class TForm1 : public QWidget, private IForm1View
{
    Q_OBJECT
public:
    // Ports open through `backend` when one is given (tests), else on the system's devices.
    explicit TForm1(QWidget* parent = nullptr, ISerialBackend* backend = nullptr);
    ~TForm1() override;

    // Controls, named as in the window's layout (each also carries that objectName).
    TGauge* ProgressBar1 = nullptr;       // transfer progress gauge
    QLabel* Label2 = nullptr;             // "-" (slow end of the pause bar)
    QLabel* Label1 = nullptr;             // "+" (fast end)
    QToolButton* SpeedButton1 = nullptr;  // "1": sends menu choice 1
    QToolButton* SpeedButton2 = nullptr;  // "2"
    QToolButton* SpeedButton3 = nullptr;  // "3"
    QToolButton* SpeedButton4 = nullptr;  // "4"
    QToolButton* SpeedButton5 = nullptr;  // "5"
    QLabel* Label3 = nullptr;             // "Duree de pause entre chaque ligne"
    QLabel* Label4 = nullptr;             // "Ricezione" (receive lamp)
    QLabel* Label5 = nullptr;             // "Invio.. " (send lamp)
    QLineEdit* Edit_Data = nullptr;       // line typed for the device
    QPushButton* Button_Send = nullptr;   // "Invia linea"
    QCheckBox* NewLine_CB = nullptr;      // "Envoi new ligne"
    QLabel* Panel2 = nullptr;             // elapsed time
    QPushButton* Button3 = nullptr;       // "Pulisci Log ...."
    QLabel* Panel1 = nullptr;             // status of the transfer
    TTipTrackBar* TipTrackBar1 = nullptr; // pause between lines
    QPushButton* Button1 = nullptr;       // "Flash"
    QPushButton* Button2 = nullptr;       // "Stop Flash"
    QPushButton* Button4 = nullptr;       // "Init"
    QComboBox* cbbTypeFlash = nullptr;    // "Firmware" / "Boot"
    QPushButton* Button5 = nullptr;       // "CHIUDI!" (close)
    QLabel* Panel3 = nullptr;             // line count
    QPushButton* Button_Open = nullptr;   // "Connetti Porta"
    QGroupBox* rgAuto = nullptr;          // "Automatico." (answer prompts)
    QRadioButton* rgAutoSi = nullptr;     // rgAuto's item 0 "Si."
    QRadioButton* rgAutoNo = nullptr;     // rgAuto's item 1 "No."
    QLabel* Panel4 = nullptr;             // file name
    TTerminalView* reTerminal = nullptr;  // the terminal
    QComboBox* ComboBox1 = nullptr;       // "Com1" / "Com2"
    QPlainTextEdit* Memo1 = nullptr;      // hidden chunk log
    QLineEdit* Edit1 = nullptr;           // hidden collected answer
    TpelLed* slConnexion = nullptr;       // connection lamp (red)
    TpelLed* pelLed1 = nullptr;           // send lamp (green)
    TpelLed* pelLed2 = nullptr;           // receive lamp (blue)
    QFileDialog* OpenDialog1 = nullptr;   // firmware file chooser

private:
    QtMainThreadExecutor fMainThread; // declared before the model: it must outlive the port
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

    // Handlers (the sender is the control that raised the event); each runs the model's.
    void Button_OpenClick(QObject* Sender);
    void Button1Click(QObject* Sender);
    void Button2Click(QObject* Sender);
    void Button4Click(QObject* Sender);

    // Selected item of a combo box, or -1 when its text was typed rather than chosen.
    static int SelectedIndex(const QComboBox* box);
    // Selected item of rgAuto, or -1.
    int rgAutoItemIndex() const;

    // The port box: the devices present (each time the list opens), a device chosen by path.
    void RefreshPortList(const std::string& devDir = "/dev",
                         const std::string& sysClassTty = "/sys/class/tty");
    void SelectPort(const QString& path);
    // Called with each port the user chooses, to remember it (QSettings by default).
    std::function<void(const QString& path)> RememberPort;

    // Reconnecting by itself after a lost device; the terminal's context menu switches it.
    void SetReconnectAutomatically(bool value) { Model.SetReconnectAutomatically(value); }
    bool ReconnectAutomatically() const { return Model.ReconnectAutomatically(); }
    bool WaitingForDevice() const { return Model.WaitingForDevice(); }
    std::function<void(bool)> RememberReconnect;

    // "Save log…" in the terminal's context menu: the exact bytes received since "Pulisci Log"
    // into path. A file that cannot be written is reported, and nothing is lost from the pane.
    void SaveLog(const QString& path);
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
    void CreateControls();
    QWidget* CreateControl(const TControlLayout& layout);
    void ConnectHandlers();
    void ShowTerminalContextMenu(const QPoint& at);
    QWidget* Control(TControl control) const;

    // IForm1View
    void SetText(TControl control, std::string_view text) override;
    void SetEnabled(TControl control, bool enabled) override;
    void SetLedOn(TControl lamp, bool on) override;
    void SetProgress(int percent) override;
    std::string Text(TControl control) const override;
    int ItemIndex(TControl control) const override;
    bool Checked(TControl control) const override;
    void ShowPortItems(std::span<const TPortItem> items, int chosen) override;
    void AppendReceived(std::string_view bytes) override;
    void AppendLine(std::string_view text) override;
    void AppendBytesLine(std::string_view bytes) override;
    void DeleteLine(int index) override;
    void ReplaceTerminal(std::string_view text) override;
    void ClearTerminal() override;
    void ShowWarningBox(std::string_view text) override;
    void ShowError(std::string_view message) override;
    std::optional<std::string> AskForFirmwareFile() override;
    void Close() override;
    std::string TimeOfDayText(int hours, int minutes, int seconds) const override;
    void Delay(std::uint32_t ms) override;
    void WatchForDevices(std::span<const std::string> paths) override;

    std::map<TControl, QWidget*> fControls;
    std::vector<std::string> fWatchedPaths;
    std::unique_ptr<TDeviceWatch> fDeviceWatch; // while a lost device is waited for
    std::unique_ptr<QSocketNotifier> fDeviceNotifier;
};
