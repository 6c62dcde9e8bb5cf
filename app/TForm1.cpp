#include "app/TForm1.h"
#include "widgets/TGauge.h"
#include "widgets/TTipTrackBar.h"
#include "widgets/TpelLed.h"

#include "app/EventLoopDelay.h"
#include "app/LongTimeText.h"
#include "app/TErrorReport.h"
#include "app/WindowFont.h"
#include "serial/ISerialBackend.h"
#include "session/MillisecondTick.h"
#include "window/CodePage1252.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCompleter>
#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSaveFile>
#include <QSignalBlocker>
#include <QTime>
#include <QToolButton>

#include <algorithm>
#include <utility>

namespace {

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

ISerialBackend& BackendOrSystem(ISerialBackend* given, std::unique_ptr<ISerialBackend>& system)
{
    if (given != nullptr) return *given;
    system = SystemSerialBackend();
    return *system;
}

QString Utf8(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QColor ColourOf(std::uint32_t bgr)
{
    return QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
}

} // namespace

TForm1::TForm1(QWidget* parent, ISerialBackend* backend)
    : QWidget(parent), Model(*this, fMainThread, BackendOrSystem(backend, fSystemBackend))
{
    const TFormLayout& window = Form1Window();
    setObjectName(Utf8(window.Name));
    setWindowTitle(Utf8(window.Caption));
    // A dialog frame: fixed size, only the close box.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(window.ClientWidth, window.ClientHeight);
    move(window.Left, window.Top);
    setFont(WindowFont(window.FontSize));

    CreateControls();

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
    Model.RememberPort = [this](const std::string& path) {
        if (RememberPort) RememberPort(QString::fromStdString(path));
    };
    Model.RememberReconnect = [this](bool on) {
        if (RememberReconnect) RememberReconnect(on);
    };

    ConnectHandlers();
    TErrorReport::Guard([this] { Model.FormCreate(); });
}

TForm1::~TForm1() = default;

void TForm1::CreateControls()
{
    for (const TControlLayout& layout : Form1Layout()) {
        QWidget* control = CreateControl(layout);
        control->setObjectName(Utf8(layout.Name));
        control->setGeometry(layout.Left, layout.Top, layout.Width, layout.Height);
        control->setFont(layout.FontSize == 0 ? WindowFont(Form1Window().FontSize)
                                              : WindowFont(layout.FontSize, layout.Bold));
        control->setVisible(layout.Visible);
        control->setEnabled(layout.Enabled);
        if (layout.TextColour != NoColour) {
            QPalette colours = control->palette();
            colours.setColor(QPalette::Base, ColourOf(layout.BackColour));
            colours.setColor(QPalette::Text, ColourOf(layout.TextColour));
            control->setPalette(colours);
        }
        fControls[layout.Id] = control;
    }

    // The layout's tab order; panels and speed buttons take no focus.
    std::vector<const TControlLayout*> tabStops;
    for (const TControlLayout& layout : Form1Layout())
        if (layout.TabOrder >= 0 && layout.Class != TControlClass::Panel)
            tabStops.push_back(&layout);
    std::sort(tabStops.begin(), tabStops.end(),
              [](auto* a, auto* b) { return a->TabOrder < b->TabOrder; });
    for (std::size_t i = 0; i + 1 < tabStops.size(); ++i) {
        QWidget* from = Control(tabStops[i]->Id);
        QWidget* to = Control(tabStops[i + 1]->Id);
        // The radio group's focus is its chosen button's.
        if (from == rgAuto) from = rgAutoSi;
        if (to == rgAuto) to = rgAutoSi;
        QWidget::setTabOrder(from, to);
    }

    OpenDialog1 = new QFileDialog(this);
    OpenDialog1->setObjectName("OpenDialog1");
    OpenDialog1->setAcceptMode(QFileDialog::AcceptOpen);
    OpenDialog1->setFileMode(QFileDialog::AnyFile);
}

QWidget* TForm1::CreateControl(const TControlLayout& layout)
{
    const QString text = Utf8(layout.Text);
    switch (layout.Class) {
    case TControlClass::Gauge: {
        auto* gauge = new TGauge(this);
        gauge->SetProgress(0);
        ProgressBar1 = gauge;
        return gauge;
    }
    case TControlClass::Label:
    case TControlClass::Panel: {
        auto* label = new QLabel(text, this);
        if (layout.Class == TControlClass::Panel) {
            // A panel with a lowered inner bevel.
            label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
            label->setLineWidth(1);
            label->setFocusPolicy(Qt::NoFocus);
        }
        if (layout.Centred)
            label->setAlignment(layout.Class == TControlClass::Panel
                                    ? Qt::AlignCenter
                                    : Qt::AlignHCenter | Qt::AlignTop);
        QLabel** places[] = {&Label1, &Label2, &Label3, &Label4, &Label5,
                             &Panel1, &Panel2, &Panel3, &Panel4};
        const TControl ids[] = {TControl::Label1, TControl::Label2, TControl::Label3,
                                TControl::Label4, TControl::Label5, TControl::Panel1,
                                TControl::Panel2, TControl::Panel3, TControl::Panel4};
        for (std::size_t i = 0; i < std::size(ids); ++i)
            if (ids[i] == layout.Id) *places[i] = label;
        return label;
    }
    case TControlClass::SpeedButton: {
        auto* button = new QToolButton(this);
        button->setText(text);
        button->setFocusPolicy(Qt::NoFocus); // speed buttons never take the focus
        QToolButton** places[] = {&SpeedButton1, &SpeedButton2, &SpeedButton3, &SpeedButton4,
                                  &SpeedButton5};
        *places[static_cast<int>(layout.Id) - static_cast<int>(TControl::SpeedButton1)] = button;
        return button;
    }
    case TControlClass::Edit: {
        auto* edit = new QLineEdit(this);
        (layout.Id == TControl::Edit_Data ? Edit_Data : Edit1) = edit;
        return edit;
    }
    case TControlClass::Button: {
        auto* button = new QPushButton(text, this);
        button->setDefault(layout.Default);
        const std::pair<TControl, QPushButton**> places[] = {
            {TControl::Button_Send, &Button_Send}, {TControl::Button1, &Button1},
            {TControl::Button2, &Button2},         {TControl::Button3, &Button3},
            {TControl::Button4, &Button4},         {TControl::Button5, &Button5},
            {TControl::Button_Open, &Button_Open}};
        for (const auto& [id, slot] : places)
            if (id == layout.Id) *slot = button;
        return button;
    }
    case TControlClass::CheckBox:
        NewLine_CB = new QCheckBox(text, this);
        NewLine_CB->setChecked(layout.Checked);
        return NewLine_CB;
    case TControlClass::TipTrackBar:
        TipTrackBar1 = new TTipTrackBar(this);
        TipTrackBar1->SetMax(layout.Max);
        TipTrackBar1->SetPosition(layout.Position);
        TipTrackBar1->SetShowHint(true);
        return TipTrackBar1;
    case TControlClass::ComboBox: {
        QComboBox* box =
            layout.Id == TControl::ComboBox1 ? new TPortComboBox(this) : new QComboBox(this);
        box->setEditable(true);
        box->setInsertPolicy(QComboBox::NoInsert);
        for (const std::string_view item : layout.Items)
            box->addItem(Utf8(item));
        box->setCurrentIndex(layout.Selected);
        if (layout.Id == TControl::ComboBox1) {
            box->view()->setMinimumWidth(420); // the devices' descriptions are wider than the box
            ComboBox1 = box;
        } else {
            cbbTypeFlash = box;
        }
        return box;
    }
    case TControlClass::RadioGroup: {
        rgAuto = new QGroupBox(text, this);
        // Two columns sharing the box's inner width, below the caption.
        const int columnWidth = (layout.Width - 16) / 2;
        rgAutoSi = new QRadioButton(Utf8(layout.Items[0]), rgAuto);
        rgAutoSi->setObjectName("rgAutoSi");
        rgAutoNo = new QRadioButton(Utf8(layout.Items[1]), rgAuto);
        rgAutoNo->setObjectName("rgAutoNo");
        rgAutoSi->setGeometry(8, 13, columnWidth, 16);
        rgAutoNo->setGeometry(8 + columnWidth, 13, columnWidth, 16);
        (layout.Selected == 0 ? rgAutoSi : rgAutoNo)->setChecked(true);
        return rgAuto;
    }
    case TControlClass::Terminal:
        reTerminal = new TTerminalView(this);
        return reTerminal;
    case TControlClass::Memo:
        Memo1 = new QPlainTextEdit(this);
        Memo1->setUndoRedoEnabled(false);
        Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        return Memo1;
    case TControlClass::Led: {
        auto* lamp = new TpelLed(this);
        lamp->SetOnColor(layout.Colours.On);
        lamp->SetOffColor(layout.Colours.Off);
        lamp->SetFlashing(false);
        lamp->SetLedOn(false);
        lamp->SetFrequency(200);
        lamp->SetBorderStyle(bsNone);
        (layout.Id == TControl::slConnexion ? slConnexion
         : layout.Id == TControl::pelLed1   ? pelLed1
                                            : pelLed2) = lamp;
        return lamp;
    }
    }
    throw std::logic_error("a control class the window cannot make");
}

QWidget* TForm1::Control(TControl control) const
{
    return fControls.at(control);
}

void TForm1::ConnectHandlers()
{
    using THandler = void (TForm1Model::*)();
    const std::pair<QAbstractButton*, THandler> clicks[] = {
        {SpeedButton1, &TForm1Model::SpeedButton1Click},
        {SpeedButton2, &TForm1Model::SpeedButton2Click},
        {SpeedButton3, &TForm1Model::SpeedButton3Click},
        {SpeedButton4, &TForm1Model::SpeedButton4Click},
        {SpeedButton5, &TForm1Model::SpeedButton5Click},
        {Button_Send, &TForm1Model::Button_SendClick},
        {Button3, &TForm1Model::Button3Click},
        {Button1, &TForm1Model::Button1Click},
        {Button2, &TForm1Model::Button2Click},
        {Button4, &TForm1Model::Button4Click},
        {Button5, &TForm1Model::Button5Click},
        {Button_Open, &TForm1Model::Button_OpenClick}};
    for (const auto& [button, handler] : clicks)
        connect(button, &QAbstractButton::clicked, this,
                [this, handler] { TErrorReport::Guard([&] { (Model.*handler)(); }); });

    connect(ComboBox1, &QComboBox::currentTextChanged, this, [this] {
        TErrorReport::Guard([this] { Model.ComboBox1Change(SelectedIndex(ComboBox1)); });
    });
    static_cast<TPortComboBox*>(ComboBox1)->AboutToPopUp = [this] { RefreshPortList(); };
    // A typed device path is chosen with Return.
    connect(ComboBox1->lineEdit(), &QLineEdit::returnPressed, this, [this] {
        TErrorReport::Guard([this] { Model.PortTyped(ComboBox1->currentText().toStdString()); });
    });
    reTerminal->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(reTerminal, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { ShowTerminalContextMenu(at); });
    TipTrackBar1->SetOnChange([this](QObject*) {
        TErrorReport::Guard([&] { Model.TipTrackBar1Change(TipTrackBar1->Position()); });
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

void TForm1::Button_OpenClick(QObject*)
{
    Model.Button_OpenClick();
}
void TForm1::Button1Click(QObject*)
{
    Model.Button1Click();
}
void TForm1::Button2Click(QObject*)
{
    Model.Button2Click();
}
void TForm1::Button4Click(QObject*)
{
    Model.Button4Click();
}

void TForm1::RefreshPortList(const std::string& devDir, const std::string& sysClassTty)
{
    Model.RefreshPortList(devDir, sysClassTty);
}

void TForm1::SelectPort(const QString& path)
{
    Model.SelectPort(path.toStdString());
}

void TForm1::ShowTerminalContextMenu(const QPoint& at)
{
    std::unique_ptr<QMenu> menu = reTerminal->CreateContextMenu();
    menu->addSeparator();
    QAction* reconnect =
        menu->addAction(QCoreApplication::translate("TForm1", "Reconnect automatically"));
    reconnect->setCheckable(true);
    reconnect->setChecked(Model.ReconnectAutomatically());
    connect(reconnect, &QAction::toggled, this,
            [this](bool on) { Model.SetReconnectAutomatically(on); });
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

void TForm1::closeEvent(QCloseEvent* event)
{
    bool close = false;
    TErrorReport::Guard([&] { close = Model.WindowCloseRequested(); });
    if (close)
        event->accept();
    else
        event->ignore();
}

void TForm1::showEvent(QShowEvent* event)
{
    Model.WindowShown();
    QWidget::showEvent(event);
}

void TForm1::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        // A box that takes Return itself (the port box chooses a typed path) has done so: the
        // key goes no further. Elsewhere Enter clicks the focused button, or else the window's
        // default button "Invia linea".
        for (QWidget* w = focusWidget(); w != nullptr && w != this; w = w->parentWidget()) {
            if (qobject_cast<QComboBox*>(w) != nullptr) {
                event->accept();
                return;
            }
        }
        auto* focused = qobject_cast<QPushButton*>(focusWidget());
        (focused != nullptr ? focused : Button_Send)->click();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

// --- IForm1View

void TForm1::SetText(TControl control, std::string_view text)
{
    const QString shown = Utf8(text);
    switch (control) {
    case TControl::Edit1:
        if (Edit1->text() != shown) Edit1->setText(shown);
        return;
    case TControl::Memo1:
        if (Memo1->toPlainText() != shown) Memo1->setPlainText(shown);
        return;
    case TControl::TipTrackBar1:
        TipTrackBar1->SetHint(shown);
        return;
    case TControl::Panel4: // a file name, in the file system's encoding
        Panel4->setText(QFile::decodeName(QByteArray(text.data(), qsizetype(text.size()))));
        return;
    default:
        if (auto* label = qobject_cast<QLabel*>(Control(control))) label->setText(shown);
        return;
    }
}

void TForm1::SetEnabled(TControl control, bool enabled)
{
    Control(control)->setEnabled(enabled);
}

void TForm1::SetLedOn(TControl lamp, bool on)
{
    static_cast<TpelLed*>(Control(lamp))->SetLedOn(on);
}

void TForm1::SetProgress(int percent)
{
    ProgressBar1->SetProgress(percent);
}

std::string TForm1::Text(TControl control) const
{
    if (auto* edit = qobject_cast<QLineEdit*>(Control(control))) return edit->text().toStdString();
    return {};
}

int TForm1::ItemIndex(TControl control) const
{
    if (control == TControl::rgAuto) return rgAutoItemIndex();
    if (auto* box = qobject_cast<QComboBox*>(Control(control))) return SelectedIndex(box);
    return -1;
}

bool TForm1::Checked(TControl control) const
{
    auto* box = qobject_cast<QCheckBox*>(Control(control));
    return box != nullptr && box->isChecked();
}

void TForm1::ShowPortItems(std::span<const TPortItem> items, int chosen)
{
    const QSignalBlocker quiet(ComboBox1); // showing the choice is no new choice
    const QString typed = ComboBox1->currentText();
    ComboBox1->clear();
    for (const TPortItem& item : items) {
        if (item.Path.empty()) {
            ComboBox1->addItem(QString::fromStdString(item.Text));
            continue;
        }
        const QString path = QString::fromStdString(item.Path);
        ComboBox1->addItem(QString::fromStdString(item.Text), path);
        ComboBox1->setItemData(ComboBox1->count() - 1, path, Qt::ToolTipRole);
    }
    if (chosen >= 0)
        ComboBox1->setCurrentIndex(chosen);
    else
        ComboBox1->setCurrentText(typed);
}

void TForm1::AppendReceived(std::string_view bytes)
{
    reTerminal->AppendReceived(bytes);
}

void TForm1::AppendLine(std::string_view text)
{
    reTerminal->AppendLine(Utf8(text));
}

void TForm1::AppendBytesLine(std::string_view bytes)
{
    reTerminal->AppendLine(Utf8(DisplayText(bytes)));
}

void TForm1::DeleteLine(int index)
{
    reTerminal->DeleteLine(index);
}

void TForm1::ReplaceTerminal(std::string_view text)
{
    reTerminal->ReplaceText(Utf8(text));
}

void TForm1::ClearTerminal()
{
    reTerminal->ClearText();
}

void TForm1::ShowWarningBox(std::string_view text)
{
    ShowWarning(Utf8(text));
}

void TForm1::ShowError(std::string_view message)
{
    TErrorReport::Show(message);
}

std::optional<std::string> TForm1::AskForFirmwareFile()
{
    const std::optional<QString> chosen = ChooseFirmwareFile();
    if (!chosen) return std::nullopt;
    return QFile::encodeName(*chosen).toStdString();
}

void TForm1::Close()
{
    close();
}

std::string TForm1::TimeOfDayText(int hours, int minutes, int seconds) const
{
    return LongTimeText(QTime(hours, minutes, seconds), QLocale::system()).toStdString();
}

void TForm1::Delay(std::uint32_t ms)
{
    ProcessEventsFor(ms, MillisecondTick);
}

void TForm1::WatchForDevices(std::span<const std::string> paths)
{
    fDeviceNotifier.reset();
    fDeviceWatch.reset();
    fWatchedPaths.assign(paths.begin(), paths.end());
    if (paths.empty()) return;
    fDeviceWatch = std::make_unique<TDeviceWatch>();
    for (const std::string& path : paths)
        fDeviceWatch->Watch(path);
    fDeviceNotifier =
        std::make_unique<QSocketNotifier>(fDeviceWatch->Descriptor(), QSocketNotifier::Read);
    connect(fDeviceNotifier.get(), &QSocketNotifier::activated, this, [this] {
        TErrorReport::Guard([this] {
            if (!fDeviceWatch) return;
            fDeviceWatch->Drain();
            fDeviceWatch->Watch(fWatchedPaths.front()); // its folder may have come back too
            Model.DevicesChanged();
        });
    });
}
