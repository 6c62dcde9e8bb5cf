#pragma once
// The program's one window: connection, terminal, automatic prompt answers and firmware transfer.

#include "app/QtMainThreadExecutor.h"
#include "app/TTerminalView.h"
#include "serial/TQorComPort.h"
#include "session/TBootLoaderSession.h"
#include "system/TDeviceWatch.h"

#include <QDateTime>
#include <QSocketNotifier>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

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

class TForm1 : public QWidget
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
    TpelLed* pelLed1 = nullptr;           // receive lamp (green)
    TpelLed* pelLed2 = nullptr;           // send lamp (blue)
    QFileDialog* OpenDialog1 = nullptr;   // firmware file chooser

private:
    QtMainThreadExecutor fMainThread; // declared before ComPort: it must outlive the port
    std::unique_ptr<ISerialBackend> fSystemBackend; // unless a backend was given

public:
    TQorComPort ComPort;

private:
    class TSessionBinding; // the session's waiter and view: this window's controls
    std::unique_ptr<TSessionBinding> fSessionBinding;

public:
    // The boot-loader dialogue and the transfer; the window binds its controls to it.
    TBootLoaderSession Session;

    // State shared by the terminal and the firmware transfer, all on the GUI thread (the
    // session's, under the names the window's handlers have always used).
    bool& StopRequested = Session.StopRequested;
    bool& FlashInProgress = Session.FlashInProgress;
    bool& Armed = Session.Armed;
    bool& ReplyReceived = Session.ReplyReceived;
    QDateTime StartTime;
    int32_t& LineCount = Session.LineCount;
    int32_t& WindowCount = Session.WindowCount;
    bool& TransferRunning = Session.TransferRunning; // also after Stop, until the loop has ended

    // Handlers (the sender is the control that raised the event).
    void FormCreate(QObject* Sender);
    void FormCloseQuery(QObject* Sender, bool& CanClose);
    void ComboBox1Change(QObject* Sender);
    void Button_OpenClick(QObject* Sender);
    void Button5Click(QObject* Sender);
    void Button_SendClick(QObject* Sender);
    void SpeedButton1Click(QObject* Sender);
    void SpeedButton2Click(QObject* Sender);
    void SpeedButton3Click(QObject* Sender);
    void SpeedButton4Click(QObject* Sender);
    void SpeedButton5Click(QObject* Sender);
    void Button4Click(QObject* Sender);
    void Button3Click(QObject* Sender);
    void ComPortDataAvailable(TQorComPort& Sender);
    void ComPortError(TQorComPort& Sender, uint32_t Error);
    void TipTrackBar1Change(QObject* Sender);

    // Selected item of a combo box, or -1 when its text was typed rather than chosen.
    static int SelectedIndex(const QComboBox* box);

    // --- the serial devices below Com1 and Com2 in ComboBox1 ---
    // Lists the devices present again (each time the list is opened); devDir and sysClassTty
    // stand for /dev and /sys/class/tty (tests).
    void RefreshPortList(const std::string& devDir = "/dev",
                         const std::string& sysClassTty = "/sys/class/tty");
    // Selects a device by its path for the next connect, as if chosen from the list; "Com1" and
    // "Com2" select those. Not remembered: the caller chose it, not the user.
    void SelectPort(const QString& path);
    // Called with each device the user chooses, to remember it (QSettings by default).
    std::function<void(const QString& path)> RememberPort;

    // --- reconnecting by itself ---
    // A lost device (not closed by the user) is waited for, said in the terminal, and reopened
    // when it is back: the same path, or a USB adapter with the same serial number under another
    // name. Off: a box says it was lost, as before. The terminal's context menu switches it; the
    // program turns it on at start unless the user turned it off (a bare window starts off).
    void SetReconnectAutomatically(bool value);
    bool ReconnectAutomatically() const { return fReconnect; }
    bool WaitingForDevice() const { return fReturnWatch != nullptr; }
    // Called when the user switches it, to remember it (QSettings by default).
    std::function<void(bool)> RememberReconnect;

    // "Save log…" in the terminal's context menu: the exact bytes received since "Pulisci Log"
    // into path. A file that cannot be written is reported, and nothing is lost from the pane.
    void SaveLog(const QString& path);
    // Asks where to save the log; by default a file dialog. Empty when cancelled.
    std::function<std::optional<QString>()> ChooseLogFile;
    // Selected item of rgAuto, or -1.
    int rgAutoItemIndex() const;

    // Shows a modal warning (replaceable for tests; by default a QMessageBox with one OK button).
    std::function<void(const QString& text)> ShowWarning;

    // --- firmware transfer ---
    void Button1Click(QObject* Sender);
    void Button2Click(QObject* Sender);
    // Keeps the window alive for ms milliseconds (32-bit tick arithmetic, wrap-safe).
    void Delay(uint32_t ms);
    // The receive handler's branch while FlashInProgress; S is the chunk just read.
    void ComPortDataAvailableTransfer(const std::string& S);
    // Asks for the firmware file; by default runs OpenDialog1 modally. Empty when cancelled.
    std::function<std::optional<QString>()> ChooseFirmwareFile;
    // Set when the window was closed while a transfer's loop was still running (after Stop
    // Flash): the port stays open until that loop has ended, then closes.
    bool WindowClosing = false;
    void CloseForClosingWindow();
    // --- end of firmware transfer ---

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void CreateControls();
    void ConnectHandlers();
    void SendAndArm(std::string_view text);
    void ShowDisconnected();
    void ShowConnected(const std::string& path);
    void WaitForDevice(const std::string& path);
    void StopWaitingForDevice();
    void ReconnectIfBack();
    void ShowTerminalContextMenu(const QPoint& at);

    std::string fConnectedDevicePath; // what the open port was opened on, for messages
    std::string fConnectedSerial;     // its USB serial number, while sysfs can still tell it
    bool fReconnect = false;
    std::unique_ptr<TDeviceWatch> fReturnWatch; // while a lost device is waited for
    std::unique_ptr<QSocketNotifier> fReturnNotifier;
    std::string fAwaitedPath;
    std::string fAwaitedSerial;
};
