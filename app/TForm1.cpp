#include "app/TForm1.h"
#include "widgets/TGauge.h"
#include "widgets/TTipTrackBar.h"
#include "widgets/TpelLed.h"

#include "app/TErrorReport.h"
#include "app/TForm1SessionBinding.h"
#include "app/WindowFont.h"
#include "serial/PosixSerialBackend.h"
#include "serial/SerialConstants.h"
#include "serial/SerialPortList.h"
#include "session/OpenFailureReason.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCompleter>
#include <QCoreApplication>
#include <QFileDialog>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSaveFile>
#include <QSignalBlocker>
#include <QToolButton>

#include <filesystem>
#include <utility>

namespace {

constexpr int WindowFontSize = 11;

template <class TWidget>
TWidget* Place(TWidget* widget, const char* name, int left, int top, int width, int height,
               const QFont& font)
{
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(left, top, width, height);
    widget->setFont(font);
    return widget;
}

QLabel* MakePanel(QWidget* parent, const char* name, int left, int top, int width, int height,
                  int fontSize)
{
    // A panel with a lowered inner bevel and centred text.
    auto* panel = Place(new QLabel(parent), name, left, top, width, height, WindowFont(fontSize));
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setLineWidth(1);
    panel->setAlignment(Qt::AlignCenter);
    return panel;
}

// The component's port number for a device chosen by its path rather than as Com1 or Com2.
constexpr int kChosenDevice = 0;

// The port box lists the devices present each time it opens.
class TPortComboBox final : public QComboBox
{
public:
    using QComboBox::QComboBox;
    std::function<void()> AboutToPopUp;

protected:
    void showPopup() override
    {
        if (AboutToPopUp) AboutToPopUp();
        QComboBox::showPopup();
    }
};

QComboBox* MakeComboBox(QComboBox* box, const char* name, int left, int top, int width, int height,
                        const QStringList& items, int selected)
{
    Place(box, name, left, top, width, height, WindowFont(11));
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->addItems(items);
    box->setCurrentIndex(selected);
    return box;
}

} // namespace

namespace {
ISerialBackend& BackendOrSystem(ISerialBackend* given, std::unique_ptr<ISerialBackend>& system)
{
    if (given != nullptr) return *given;
    system = std::make_unique<TPosixSerialBackend>();
    return *system;
}
} // namespace

TForm1::TForm1(QWidget* parent, ISerialBackend* backend)
    : QWidget(parent), ComPort(fMainThread, BackendOrSystem(backend, fSystemBackend)),
      fSessionBinding(std::make_unique<TSessionBinding>(*this)),
      Session(ComPort, *fSessionBinding, *fSessionBinding)
{
    setObjectName("Form1");
    setWindowTitle(QStringLiteral("Tarvel") + QString(28, QChar(u' ')) +
                   QStringLiteral("Bidouille ======> pour KRO"));
    // A dialog frame: fixed size, only the close box.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(579, 374);
    move(285, 118);
    setFont(WindowFont(WindowFontSize));

    CreateControls();

    // Port settings: 115200 8N1, DTR and RTS on, no handshake, plain mode.
    ComPort.SetBaudrate(115200);
    ComPort.SetByteSize(8);
    ComPort.SetParity(ptNone);
    ComPort.SetStopBits(sbOne);
    ComPort.SetPort(2);
    ComPort.FlowCtrl().SetRxDsrSensivity(false);
    ComPort.FlowCtrl().SetRxDtrControl(dtrEnable);
    ComPort.FlowCtrl().SetRxRtsControl(rtsEnable);
    ComPort.FlowCtrl().SetTxContinueXoff(false);
    ComPort.FlowCtrl().SetTxCtsFlow(false);
    ComPort.FlowCtrl().SetTxDsrFlow(false);
    ComPort.FlowCtrl().SetXonXoff(false);
    ComPort.SetLineEnd("\r\n");
    ComPort.SetLineMode(false);
    ComPort.SetPortOptions({});
    ComPort.SetRxBuffer(8192);
    ComPort.SetRxThresholdAmount(0);
    ComPort.SetRxThresholdUse(false);
    ComPort.SetTxBuffer(8192);

    ShowWarning = [this](const QString& text) {
        QMessageBox box(QMessageBox::Warning, QCoreApplication::translate("Dialogs", "Warning"),
                        text, QMessageBox::Ok, this);
        box.exec();
    };
    ChooseFirmwareFile = [this]() -> std::optional<QString> {
        const int result = OpenDialog1->exec();
        // Return typed into the name box may accept the dialog with its completion list still
        // open; that popup would stay over the window and take its next click.
        for (QCompleter* completer : OpenDialog1->findChildren<QCompleter*>())
            if (completer->popup() != nullptr) completer->popup()->hide();
        if (result != QDialog::Accepted || OpenDialog1->selectedFiles().isEmpty())
            return std::nullopt;
        return OpenDialog1->selectedFiles().constFirst();
    };
    ChooseLogFile = [this]() -> std::optional<QString> {
        const QString path = QFileDialog::getSaveFileName(
            this, QCoreApplication::translate("TForm1", "Save log…"), QStringLiteral("tarvel.log"));
        if (path.isEmpty()) return std::nullopt;
        return path;
    };

    ConnectHandlers();
    TErrorReport::Guard([this] { FormCreate(this); });
}

void TForm1::CreateControls()
{
    const QFont windowFont = WindowFont(WindowFontSize);

    ProgressBar1 = Place(new TGauge(this), "ProgressBar1", 98, 348, 409, 21, windowFont);
    ProgressBar1->SetProgress(0);

    Label2 = Place(new QLabel(QStringLiteral("-"), this), "Label2", 188, 260, 9, 21,
                   WindowFont(15, true));
    Label2->setVisible(false);
    Label1 = Place(new QLabel(QStringLiteral("+"), this), "Label1", 368, 264, 9, 21,
                   WindowFont(15, true));
    Label1->setVisible(false);

    QToolButton** speedButtons[] = {&SpeedButton1, &SpeedButton2, &SpeedButton3, &SpeedButton4,
                                    &SpeedButton5};
    for (int i = 0; i < 5; ++i) {
        const QByteArray name = "SpeedButton" + QByteArray::number(i + 1);
        auto* button =
            Place(new QToolButton(this), name.constData(), 394 + 38 * i, 134, 30, 21, windowFont);
        button->setText(QString::number(i + 1));
        button->setFocusPolicy(Qt::NoFocus); // speed buttons never take the focus
        *speedButtons[i] = button;
    }

    Label3 = Place(new QLabel(QStringLiteral("Duree de pause entre chaque ligne"), this), "Label3",
                   194, 238, 175, 15, windowFont);
    Label3->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Label3->setVisible(false);
    Label4 = Place(new QLabel(QStringLiteral("Ricezione"), this), "Label4", 430, 250, 51, 15,
                   windowFont);
    Label5 =
        Place(new QLabel(QStringLiteral("Invio.. "), this), "Label5", 524, 250, 45, 15, windowFont);

    Edit_Data = Place(new QLineEdit(this), "Edit_Data", 394, 158, 83, 25, WindowFont(12));
    Button_Send = Place(new QPushButton(QStringLiteral("Invia linea"), this), "Button_Send", 480,
                        158, 97, 25, WindowFont(12));
    Button_Send->setDefault(true);
    NewLine_CB = Place(new QCheckBox(QStringLiteral("Envoi new ligne"), this), "NewLine_CB", 452,
                       302, 99, 17, WindowFont(15));
    NewLine_CB->setChecked(false);
    NewLine_CB->setVisible(false);

    Panel2 = MakePanel(this, "Panel2", 510, 348, 67, 21, 13);
    Button3 = Place(new QPushButton(QStringLiteral("Pulisci Log ...."), this), "Button3", 394, 214,
                    183, 23, WindowFont(11));
    Panel1 = MakePanel(this, "Panel1", 4, 324, 573, 21, 15);

    TipTrackBar1 = Place(new TTipTrackBar(this), "TipTrackBar1", 198, 258, 169, 29, windowFont);
    TipTrackBar1->SetMax(15);
    TipTrackBar1->SetPosition(10);
    TipTrackBar1->SetShowHint(true);
    TipTrackBar1->setVisible(false);

    Button1 = Place(new QPushButton(QStringLiteral("Flash"), this), "Button1", 394, 188, 83, 23,
                    WindowFont(12));
    Button2 = Place(new QPushButton(QStringLiteral("Stop Flash"), this), "Button2", 482, 188, 95,
                    23, WindowFont(12));
    Button4 = Place(new QPushButton(QStringLiteral("Init"), this), "Button4", 500, 70, 51, 23,
                    WindowFont(12));
    Button4->setEnabled(false);
    cbbTypeFlash =
        MakeComboBox(new QComboBox(this), "cbbTypeFlash", 480, 42, 97, 23, {"Firmware", "Boot"}, 0);
    Button5 = Place(new QPushButton(QStringLiteral("CHIUDI!"), this), "Button5", 394, 4, 183, 35,
                    WindowFont(16, true));
    Panel3 = MakePanel(this, "Panel3", 4, 348, 91, 21, 13);
    Button_Open = Place(new QPushButton(QStringLiteral("Connetti Porta"), this), "Button_Open", 394,
                        70, 101, 23, WindowFont(12));

    rgAuto = Place(new QGroupBox(QStringLiteral("Automatico."), this), "rgAuto", 394, 96, 183, 31,
                   windowFont);
    // Two columns sharing the box's inner width, below the caption.
    rgAutoSi = new QRadioButton(QStringLiteral("Si."), rgAuto);
    rgAutoSi->setObjectName("rgAutoSi");
    rgAutoNo = new QRadioButton(QStringLiteral("No."), rgAuto);
    rgAutoNo->setObjectName("rgAutoNo");
    const int columnWidth = (rgAuto->width() - 16) / 2;
    rgAutoSi->setGeometry(8, 13, columnWidth, 16);
    rgAutoNo->setGeometry(8 + columnWidth, 13, columnWidth, 16);
    rgAutoSi->setChecked(true);

    Panel4 = MakePanel(this, "Panel4", 4, 300, 573, 21, 15);

    reTerminal = Place(new TTerminalView(this), "reTerminal", 6, 6, 381, 289, WindowFont(13));
    QPalette terminalColours = reTerminal->palette();
    terminalColours.setColor(QPalette::Base, Qt::black);
    terminalColours.setColor(QPalette::Text, Qt::white);
    reTerminal->setPalette(terminalColours);

    ComboBox1 =
        MakeComboBox(new TPortComboBox(this), "ComboBox1", 394, 42, 81, 23, {"Com1", "Com2"}, 1);
    // The devices' names and descriptions are wider than the box.
    ComboBox1->view()->setMinimumWidth(420);

    Memo1 = Place(new QPlainTextEdit(this), "Memo1", 4, 372, 571, 169, windowFont);
    Memo1->setUndoRedoEnabled(false);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setVisible(false);
    Edit1 = Place(new QLineEdit(this), "Edit1", 4, 374, 123, 23, windowFont);
    Edit1->setVisible(false);

    struct TLampLayout
    {
        TpelLed** Lamp;
        const char* Name;
        int Left, Top;
        TColor OnColor, OffColor;
    };
    const TLampLayout lamps[] = {{&slConnexion, "slConnexion", 556, 74, clRed, clMaroon},
                                 {&pelLed1, "pelLed1", 502, 250, clLime, clGreen},
                                 {&pelLed2, "pelLed2", 404, 250, clBlue, clNavy}};
    for (const TLampLayout& layout : lamps) {
        auto* lamp =
            Place(new TpelLed(this), layout.Name, layout.Left, layout.Top, 15, 15, windowFont);
        lamp->SetOnColor(layout.OnColor);
        lamp->SetOffColor(layout.OffColor);
        lamp->SetFlashing(false);
        lamp->SetLedOn(false);
        lamp->SetFrequency(200);
        lamp->SetBorderStyle(bsNone);
        *layout.Lamp = lamp;
    }

    OpenDialog1 = new QFileDialog(this);
    OpenDialog1->setObjectName("OpenDialog1");
    OpenDialog1->setAcceptMode(QFileDialog::AcceptOpen);
    OpenDialog1->setFileMode(QFileDialog::AnyFile);

    // Panels are no tab stops; the rest follows the layout's tab order.
    QWidget* tabOrder[] = {Button_Open,  Edit_Data, Button_Send, NewLine_CB,   Button1, Button2,
                           cbbTypeFlash, Button3,   Button4,     TipTrackBar1, Button5, rgAutoSi,
                           reTerminal,   ComboBox1, Memo1,       Edit1};
    for (std::size_t i = 0; i + 1 < std::size(tabOrder); ++i)
        QWidget::setTabOrder(tabOrder[i], tabOrder[i + 1]);
    for (QLabel* panel : {Panel1, Panel2, Panel3, Panel4})
        panel->setFocusPolicy(Qt::NoFocus);
}

void TForm1::ConnectHandlers()
{
    using THandler = void (TForm1::*)(QObject*);
    const auto bindClick = [this](QAbstractButton* button, THandler handler) {
        connect(button, &QAbstractButton::clicked, this, [this, button, handler] {
            TErrorReport::Guard([&] { (this->*handler)(button); });
        });
    };
    const std::pair<QAbstractButton*, THandler> clicks[] = {
        {SpeedButton1, &TForm1::SpeedButton1Click}, {SpeedButton2, &TForm1::SpeedButton2Click},
        {SpeedButton3, &TForm1::SpeedButton3Click}, {SpeedButton4, &TForm1::SpeedButton4Click},
        {SpeedButton5, &TForm1::SpeedButton5Click}, {Button_Send, &TForm1::Button_SendClick},
        {Button3, &TForm1::Button3Click},           {Button1, &TForm1::Button1Click},
        {Button2, &TForm1::Button2Click},           {Button4, &TForm1::Button4Click},
        {Button5, &TForm1::Button5Click},           {Button_Open, &TForm1::Button_OpenClick}};
    for (const auto& [button, handler] : clicks)
        bindClick(button, handler);

    connect(ComboBox1, &QComboBox::currentTextChanged, this,
            [this] { TErrorReport::Guard([this] { ComboBox1Change(ComboBox1); }); });
    static_cast<TPortComboBox*>(ComboBox1)->AboutToPopUp = [this] { RefreshPortList(); };
    reTerminal->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(reTerminal, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { ShowTerminalContextMenu(at); });
    // A typed device path is chosen with Return.
    connect(ComboBox1->lineEdit(), &QLineEdit::returnPressed, this, [this] {
        TErrorReport::Guard([this] {
            const QString path = ComboBox1->currentText().trimmed();
            if (SelectedIndex(ComboBox1) < 0 && !path.isEmpty()) {
                SelectPort(path);
                if (RememberPort) RememberPort(path); // the path, whatever the item shows
            }
        });
    });
    TipTrackBar1->SetOnChange(
        [this](QObject* sender) { TErrorReport::Guard([&] { TipTrackBar1Change(sender); }); });

    // Errors of the receive handler stay with the component, which drops them.
    ComPort.SetOnDataAvailable([this](TQorComPort& sender) { ComPortDataAvailable(sender); });
    ComPort.SetOnError([this](TQorComPort& sender, uint32_t error) {
        TErrorReport::Guard([&] { ComPortError(sender, error); });
    });
}

int TForm1::SelectedIndex(const QComboBox* box)
{
    const int index = box->currentIndex();
    if (index < 0 || box->itemText(index) != box->currentText()) return -1;
    return index;
}

int TForm1::rgAutoItemIndex() const
{
    if (rgAutoSi->isChecked()) return 0;
    if (rgAutoNo->isChecked()) return 1;
    return -1;
}

void TForm1::FormCreate(QObject* Sender)
{
    // The track bar's change handler is always bound, so it is called without a test.
    TipTrackBar1->OnChange()(Sender);
}

void TForm1::TipTrackBar1Change(QObject* /*Sender*/)
{
    TipTrackBar1->SetHint(QString::number(TipTrackBar1->Position()));
}

void TForm1::ComboBox1Change(QObject* /*Sender*/)
{
    // Only the choice changes; an open port stays on the device it was opened with.
    const int index = SelectedIndex(ComboBox1);
    if (index < 0) return;  // typed text takes effect with Return
    StopWaitingForDevice(); // another port is wanted now
    if (index < 2) {
        ComPort.SetPort(index + 1);
    } else {
        ComPort.SetDevicePath(kChosenDevice, ComboBox1->itemData(index).toString().toStdString());
        ComPort.SetPort(kChosenDevice);
    }
    if (RememberPort)
        RememberPort(index < 2 ? ComboBox1->itemText(index)
                               : ComboBox1->itemData(index).toString());
}

void TForm1::RefreshPortList(const std::string& devDir, const std::string& sysClassTty)
{
    const QSignalBlocker quiet(ComboBox1); // the choice stays what it was
    const QString chosen = SelectedIndex(ComboBox1) >= 2
                               ? ComboBox1->itemData(ComboBox1->currentIndex()).toString()
                               : QString();
    const QString text = ComboBox1->currentText();
    while (ComboBox1->count() > 2)
        ComboBox1->removeItem(2);
    for (const TPortListing& port : DescribeSerialPorts(devDir, sysClassTty)) {
        const QString path = QString::fromStdString(port.Path);
        ComboBox1->addItem(QString::fromStdString(port.Description), path);
        ComboBox1->setItemData(ComboBox1->count() - 1, path, Qt::ToolTipRole);
    }
    if (chosen.isEmpty()) {
        ComboBox1->setCurrentText(text);
    } else if (const int at = ComboBox1->findData(chosen); at >= 0) {
        ComboBox1->setCurrentIndex(at);
    } else { // gone for now: it stays chosen, by its path
        ComboBox1->addItem(chosen, chosen);
        ComboBox1->setCurrentIndex(ComboBox1->count() - 1);
    }
}

void TForm1::SelectPort(const QString& path)
{
    const std::function<void(const QString&)> remember = std::exchange(RememberPort, nullptr);
    int at = ComboBox1->findText(path);
    if (at < 0 || at >= 2) at = ComboBox1->findData(path);
    if (at < 0) {
        ComboBox1->addItem(path, path);
        at = ComboBox1->count() - 1;
    }
    {
        const QSignalBlocker quiet(ComboBox1); // the text may be the same, so no change is told
        ComboBox1->setCurrentIndex(at);
    }
    ComboBox1Change(ComboBox1);
    RememberPort = remember;
}

void TForm1::ShowDisconnected()
{
    Button1->setEnabled(false);
    Button4->setEnabled(false);
    slConnexion->SetLedOn(false);
}

void TForm1::Button_OpenClick(QObject* /*Sender*/)
{
    Armed = false;
    StopWaitingForDevice(); // the user decides now
    if (ComPort.Active()) {
        ComPort.SetActive(false);
        fConnectedDevicePath.clear();
        ShowDisconnected();
        return;
    }
    const std::string path = ComPort.DevicePath(ComPort.Port());
    try {
        ComPort.SetActive(true);
    } catch (const EQorComPort& failure) {
        const std::string reason = OpenFailureReason(path, failure.ErrorCode());
        if (reason.empty()) throw;
        throw EQorComPort(std::string(failure.what()) + "\n" + reason, failure.ErrorCode());
    }
    ShowConnected(path);
}

void TForm1::ShowConnected(const std::string& path)
{
    fConnectedDevicePath = path;
    const auto usb = UsbIdentity(path);
    fConnectedSerial = usb ? usb->Serial : std::string();
    Button4->setEnabled(true);
    slConnexion->SetLedOn(true);
}

void TForm1::SetReconnectAutomatically(bool value)
{
    if (value == fReconnect) return;
    fReconnect = value;
    if (!value) StopWaitingForDevice();
    if (RememberReconnect) RememberReconnect(value);
}

void TForm1::WaitForDevice(const std::string& path)
{
    fAwaitedPath = path;
    fAwaitedSerial = fConnectedSerial;
    fReturnWatch = std::make_unique<TDeviceWatch>();
    fReturnWatch->Watch(path);
    if (!fAwaitedSerial.empty()) fReturnWatch->Watch("/dev/ttyUSB0"); // it may come back renamed
    fReturnNotifier =
        std::make_unique<QSocketNotifier>(fReturnWatch->Descriptor(), QSocketNotifier::Read);
    connect(fReturnNotifier.get(), &QSocketNotifier::activated, this, [this] {
        TErrorReport::Guard([this] {
            if (!fReturnWatch) return;
            fReturnWatch->Drain();
            fReturnWatch->Watch(fAwaitedPath); // its folder may have come back too
            ReconnectIfBack();
        });
    });
    ReconnectIfBack();
}

void TForm1::StopWaitingForDevice()
{
    fReturnNotifier.reset();
    fReturnWatch.reset();
}

void TForm1::ReconnectIfBack()
{
    std::error_code ec;
    std::string found = std::filesystem::exists(fAwaitedPath, ec) ? fAwaitedPath : std::string();
    for (const std::string& candidate : fAwaitedSerial.empty() || !found.empty()
                                            ? std::vector<std::string>()
                                            : ListSerialPorts()) {
        const auto usb = UsbIdentity(candidate);
        if (usb && usb->Serial == fAwaitedSerial) {
            found = candidate;
            break;
        }
    }
    if (found.empty() || ComPort.Active()) return;
    const int port = ComPort.Port();
    const std::string before = ComPort.DevicePath(port);
    ComPort.SetDevicePath(port, found);
    try {
        ComPort.SetActive(true); // the settings are the component's, unchanged since the loss
    } catch (const EQorComPort&) {
        ComPort.SetDevicePath(port, before);
        return; // not usable yet (its permissions come a moment later): the watch goes on
    }
    StopWaitingForDevice();
    ShowConnected(found);
    reTerminal->AppendLine(QString::fromStdString("[Dispositivo '" + found + "' ricollegato]"));
}

void TForm1::ShowTerminalContextMenu(const QPoint& at)
{
    std::unique_ptr<QMenu> menu = reTerminal->CreateContextMenu();
    menu->addSeparator();
    QAction* reconnect =
        menu->addAction(QCoreApplication::translate("TForm1", "Reconnect automatically"));
    reconnect->setCheckable(true);
    reconnect->setChecked(fReconnect);
    connect(reconnect, &QAction::toggled, this, [this](bool on) { SetReconnectAutomatically(on); });
    QAction* save = menu->addAction(QCoreApplication::translate("TForm1", "Save log…"));
    connect(save, &QAction::triggered, this, [this] {
        TErrorReport::Guard([this] {
            if (const auto path = ChooseLogFile ? ChooseLogFile() : std::nullopt) SaveLog(*path);
        });
    });
    menu->exec(reTerminal->mapToGlobal(at));
}

void TForm1::SaveLog(const QString& path)
{
    QSaveFile file(path); // the old file stays whole until the new one is complete
    bool written = file.open(QIODevice::WriteOnly);
    const TByteStore& received = reTerminal->ReceivedBytes();
    received.ForEach(0, received.Size(), [&](std::string_view piece) {
        const auto size = static_cast<qint64>(piece.size());
        written = written && file.write(piece.data(), size) == size;
    });
    if (!written || !file.commit())
        TErrorReport::Show("Cannot write " + path.toStdString() + ": " +
                           file.errorString().toStdString());
}

void TForm1::ComPortError(TQorComPort& /*Sender*/, uint32_t Error)
{
    if ((Error & CE_DEVICE_LOST) == 0 || !ComPort.Active()) return;
    const std::string path = fConnectedDevicePath;
    const std::string failure = ComPort.ThreadFailure();
    Armed = false;
    Session.DeviceLost();
    ComPort.SetActive(false);
    fConnectedDevicePath.clear();
    ShowDisconnected();
    if (WindowClosing) return;
    if (fReconnect) {
        // A board that resets takes its port away for a moment: a line, not a box each time.
        reTerminal->AppendLine(QString::fromStdString("[Dispositivo '" + path +
                                                      "' scollegato: si attende che ritorni]"));
        WaitForDevice(path);
        return;
    }
    if (!failure.empty())
        TErrorReport::Show("Porta '" + path + "' chiusa: " + failure);
    else
        TErrorReport::Show("Dispositivo '" + path + "' scollegato: porta chiusa");
}

void TForm1::Button5Click(QObject* /*Sender*/)
{
    close();
}

void TForm1::FormCloseQuery(QObject* /*Sender*/, bool& CanClose)
{
    if (FlashInProgress) {
        ShowWarning(QStringLiteral("Flash in corso, impossibile fermare. !!!"));
        CanClose = false;
    }
}

void TForm1::closeEvent(QCloseEvent* event)
{
    bool canClose = true;
    TErrorReport::Guard([&] { FormCloseQuery(this, canClose); });
    if (!canClose) {
        event->ignore();
        return;
    }
    WindowClosing = true;
    event->accept();
    // Release the device as soon as the window is closed, not only when it is destroyed; a
    // transfer still ending (after Stop Flash) keeps it until its loop is done.
    if (!TransferRunning) CloseForClosingWindow();
}

void TForm1::showEvent(QShowEvent* event)
{
    WindowClosing = false; // shown again: reports are for the operator once more
    QWidget::showEvent(event);
}

void TForm1::CloseForClosingWindow()
{
    try {
        ComPort.PurgeTx();
        ComPort.SetActive(false);
    } catch (const std::exception&) {
        // Nobody is left to tell; the port closes for good when the window is destroyed.
    }
}

void TForm1::keyPressEvent(QKeyEvent* event)
{
    // Enter clicks the focused button, or else the window's default button "Invia linea".
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        auto* focused = qobject_cast<QPushButton*>(focusWidget());
        (focused != nullptr ? focused : Button_Send)->click();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TForm1::SendAndArm(std::string_view text)
{
    Session.SendTyped(text);
}

void TForm1::Button_SendClick(QObject* /*Sender*/)
{
    // The terminal's code page, so what is typed is what the device would show back.
    std::string line = TTerminalDecoder::EncodeTyped(Edit_Data->text());
    if (NewLine_CB->isChecked()) line += "\r\n";
    SendAndArm(line);
}

void TForm1::SpeedButton1Click(QObject*)
{
    SendAndArm("1");
}
void TForm1::SpeedButton2Click(QObject*)
{
    SendAndArm("2");
}
void TForm1::SpeedButton3Click(QObject*)
{
    SendAndArm("3");
}
void TForm1::SpeedButton4Click(QObject*)
{
    SendAndArm("4");
}
void TForm1::SpeedButton5Click(QObject*)
{
    SendAndArm("5");
}

void TForm1::Button4Click(QObject* /*Sender*/)
{
    Session.Init();
}

void TForm1::Button3Click(QObject* /*Sender*/)
{
    reTerminal->ClearText();
}

void TForm1::ComPortDataAvailable(TQorComPort& /*Sender*/)
{
    const std::string S = ComPort.ReadString();
    Session.AutoAnswer = rgAutoItemIndex() == 0;
    Session.FlashType = SelectedIndex(cbbTypeFlash);
    Session.Receive(S);
}
