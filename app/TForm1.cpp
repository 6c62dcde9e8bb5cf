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

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTime>
#include <QToolButton>

#include <utility>

namespace {

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

    CreateControls(this);
    fRetryTimer.setSingleShot(true);
    connect(&fRetryTimer, &QTimer::timeout, this,
            [this] { TErrorReport::Guard([this] { Model.DevicesChanged(); }); });

    ShowWarning = [this](const QString& text) {
        QMessageBox box(QMessageBox::Warning, QCoreApplication::translate("Dialogs", "Warning"),
                        text, QMessageBox::Ok, this);
        box.exec();
    };
    ChooseFirmwareFile = [this] { return RunOpenDialog1(); };
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
    Model.SessionLog.SetFolder(TSessionLog::DefaultFolder());
    Model.RememberLogEverySession = [this](bool) {
        if (RememberSessionLog) RememberSessionLog();
    };
    ChooseLogFolder = [this]() -> std::optional<QString> {
        const QString folder = QFileDialog::getExistingDirectory(
            this, QCoreApplication::translate("TForm1", "Log folder…"),
            QString::fromStdU16String(Model.SessionLog.Folder().u16string()));
        if (folder.isEmpty()) return std::nullopt;
        return folder;
    };
    AskLogDays = [this]() -> std::optional<int> {
        bool ok = false;
        const int days = QInputDialog::getInt(
            this, QCoreApplication::translate("TForm1", "Session logs"),
            QCoreApplication::translate("TForm1", "Remove session logs older than (days):"),
            Model.SessionLog.DaysToKeep(), 1, 36500, 1, &ok);
        if (!ok) return std::nullopt;
        return days;
    };

    ConnectHandlers();
    TErrorReport::Guard([this] { Model.FormCreate(); });
}

TForm1::~TForm1() = default;

void TForm1::ConnectHandlers()
{
    for (const TControlLayout& layout : Form1Layout()) {
        auto* button = qobject_cast<QAbstractButton*>(Control(layout.Id));
        if (button == nullptr || layout.Class == TControlClass::CheckBox) continue;
        connect(button, &QAbstractButton::clicked, this,
                [this, id = layout.Id] { TErrorReport::Guard([&] { Model.Click(id); }); });
    }

    connect(ComboBox1, &QComboBox::currentTextChanged, this, [this] {
        TErrorReport::Guard([this] { Model.ComboBox1Change(SelectedIndex(ComboBox1)); });
    });
    connect(cbbTypeFlash, &QComboBox::currentTextChanged, this,
            [this] { Model.cbbTypeFlashChange(SelectedIndex(cbbTypeFlash)); });
    for (QRadioButton* item : {rgAutoSi, rgAutoNo})
        connect(item, &QRadioButton::toggled, this,
                [this] { Model.rgAutoClick(rgAutoItemIndex()); });
    static_cast<TPortComboBox*>(ComboBox1)->AboutToPopUp = [this] { Model.RefreshPortList(); };
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

void TForm1::ShowTerminalContextMenu(const QPoint& at)
{
    CreateTerminalContextMenu()->exec(reTerminal->mapToGlobal(at));
}

std::unique_ptr<QMenu> TForm1::CreateTerminalContextMenu()
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
            if (const auto path = ChooseLogFile ? ChooseLogFile() : std::nullopt)
                reTerminal->SaveLog(*path);
        });
    });
    menu->addSeparator();
    QAction* everySession =
        menu->addAction(QCoreApplication::translate("TForm1", "Log every session"));
    everySession->setCheckable(true);
    everySession->setChecked(Model.SessionLog.Enabled());
    connect(everySession, &QAction::toggled, this,
            [this](bool on) { TErrorReport::Guard([&] { Model.SetLogEverySession(on); }); });
    QAction* folder = menu->addAction(QCoreApplication::translate("TForm1", "Log folder…"));
    connect(folder, &QAction::triggered, this, [this] {
        const auto chosen = ChooseLogFolder ? ChooseLogFolder() : std::nullopt;
        if (!chosen) return;
        // Takes effect with the next connection: the open one's log stays where it began.
        Model.SessionLog.SetFolder(std::filesystem::path(chosen->toStdU16String()));
        if (RememberSessionLog) RememberSessionLog();
    });
    QAction* days = menu->addAction(QCoreApplication::translate("TForm1", "Keep logs for %1 days…")
                                        .arg(Model.SessionLog.DaysToKeep()));
    connect(days, &QAction::triggered, this, [this] {
        const auto chosen = AskLogDays ? AskLogDays() : std::nullopt;
        if (!chosen) return;
        Model.SessionLog.SetDaysToKeep(*chosen);
        if (RememberSessionLog) RememberSessionLog();
    });
    return menu;
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

ITerminalSink& TForm1::Terminal()
{
    return *reTerminal;
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

void TForm1::HandleEventsUntil(const std::function<bool()>& done)
{
    while (!done())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

void TForm1::CallDevicesChangedAfter(std::uint32_t ms)
{
    fRetryTimer.stop();
    if (ms > 0) fRetryTimer.start(static_cast<int>(ms));
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
