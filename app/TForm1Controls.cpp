#include "app/TForm1Controls.h"

#include "app/TTerminalView.h"
#include "app/WindowFont.h"
#include "widgets/TGauge.h"
#include "widgets/TTipTrackBar.h"
#include "widgets/TpelLed.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QCompleter>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace {

QString Utf8(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QColor ColourOf(std::uint32_t bgr)
{
    return QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
}

QLabel* MakeLabel(QWidget* parent, const TControlLayout& layout)
{
    auto* label = new QLabel(Utf8(layout.Text), parent);
    const bool panel = layout.Class == TControlClass::Panel;
    if (panel) { // a lowered inner bevel; a panel takes no focus
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setLineWidth(1);
        label->setFocusPolicy(Qt::NoFocus);
    }
    if (layout.Centred)
        label->setAlignment(panel ? Qt::AlignCenter : Qt::AlignHCenter | Qt::AlignTop);
    return label;
}

QComboBox* MakeComboBox(QWidget* parent, const TControlLayout& layout)
{
    const bool ports = layout.Id == TControl::ComboBox1;
    QComboBox* box = ports ? new TPortComboBox(parent) : new QComboBox(parent);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    for (const std::string_view item : layout.Items)
        box->addItem(Utf8(item));
    box->setCurrentIndex(layout.Selected);
    if (ports) box->view()->setMinimumWidth(420); // the devices' descriptions are wider
    return box;
}

QGroupBox* MakeRadioGroup(QWidget* parent, const TControlLayout& layout)
{
    auto* group = new QGroupBox(Utf8(layout.Text), parent);
    // Columns sharing the box's inner width, below the caption; items named after the group.
    const int columns = static_cast<int>(layout.Items.size());
    const int columnWidth = (layout.Width - 16) / columns;
    const char* names[] = {"rgAutoSi", "rgAutoNo"};
    for (int i = 0; i < columns && i < static_cast<int>(std::size(names)); ++i) {
        auto* item = new QRadioButton(Utf8(layout.Items[static_cast<std::size_t>(i)]), group);
        item->setObjectName(names[i]);
        item->setGeometry(8 + columnWidth * i, 13, columnWidth, 16);
        item->setChecked(i == layout.Selected);
    }
    return group;
}

TpelLed* MakeLamp(QWidget* parent, const TControlLayout& layout)
{
    auto* lamp = new TpelLed(parent);
    lamp->SetOnColor(layout.Colours.On);
    lamp->SetOffColor(layout.Colours.Off);
    lamp->SetFlashing(false);
    lamp->SetLedOn(false);
    lamp->SetFrequency(200);
    lamp->SetBorderStyle(bsNone);
    return lamp;
}

} // namespace

void TPortComboBox::showPopup()
{
    if (AboutToPopUp) AboutToPopUp();
    QComboBox::showPopup();
}

void TForm1Controls::CreateControls(QWidget* parent)
{
    for (const TControlLayout& layout : Form1Layout()) {
        QWidget* control = CreateControl(parent, layout);
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
    NameControls();

    // The layout's tab order; speed buttons take no focus either.
    const std::vector<const TControlLayout*> tabStops = Form1TabStops();
    for (std::size_t i = 0; i + 1 < tabStops.size(); ++i) {
        QWidget* from = Control(tabStops[i]->Id);
        QWidget* to = Control(tabStops[i + 1]->Id);
        // The radio group's focus is its chosen button's.
        if (from == rgAuto) from = rgAutoSi;
        if (to == rgAuto) to = rgAutoSi;
        QWidget::setTabOrder(from, to);
    }

    OpenDialog1 = new QFileDialog(parent);
    OpenDialog1->setObjectName("OpenDialog1");
    OpenDialog1->setAcceptMode(QFileDialog::AcceptOpen);
    OpenDialog1->setFileMode(QFileDialog::AnyFile);
}

QWidget* TForm1Controls::CreateControl(QWidget* parent, const TControlLayout& layout)
{
    const QString text = Utf8(layout.Text);
    switch (layout.Class) {
    case TControlClass::Gauge:
        return new TGauge(parent); // its progress starts at 0
    case TControlClass::Label:
    case TControlClass::Panel:
        return MakeLabel(parent, layout);
    case TControlClass::SpeedButton: {
        auto* button = new QToolButton(parent);
        button->setText(text);
        button->setFocusPolicy(Qt::NoFocus); // speed buttons never take the focus
        return button;
    }
    case TControlClass::Edit:
        return new QLineEdit(parent);
    case TControlClass::Button: {
        auto* button = new QPushButton(text, parent);
        button->setDefault(layout.Default);
        return button;
    }
    case TControlClass::CheckBox: {
        auto* box = new QCheckBox(text, parent);
        box->setChecked(layout.Checked);
        return box;
    }
    case TControlClass::TipTrackBar: {
        auto* bar = new TTipTrackBar(parent);
        bar->SetMax(layout.Max);
        bar->SetPosition(layout.Position);
        bar->SetShowHint(true);
        return bar;
    }
    case TControlClass::ComboBox:
        return MakeComboBox(parent, layout);
    case TControlClass::RadioGroup:
        return MakeRadioGroup(parent, layout);
    case TControlClass::Terminal:
        return new TTerminalView(parent);
    case TControlClass::Memo: {
        auto* memo = new QPlainTextEdit(parent);
        memo->setUndoRedoEnabled(false);
        memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        return memo;
    }
    case TControlClass::Led:
        return MakeLamp(parent, layout);
    }
    throw std::logic_error("a control class the window cannot make");
}

template <class TWidget> TWidget* TForm1Controls::As(TControl control) const
{
    return static_cast<TWidget*>(Control(control));
}

void TForm1Controls::NameControls()
{
    using C = TControl;
    ProgressBar1 = As<TGauge>(C::ProgressBar1);
    Label1 = As<QLabel>(C::Label1), Label2 = As<QLabel>(C::Label2);
    Label3 = As<QLabel>(C::Label3), Label4 = As<QLabel>(C::Label4), Label5 = As<QLabel>(C::Label5);
    SpeedButton1 = As<QToolButton>(C::SpeedButton1),
    SpeedButton2 = As<QToolButton>(C::SpeedButton2);
    SpeedButton3 = As<QToolButton>(C::SpeedButton3),
    SpeedButton4 = As<QToolButton>(C::SpeedButton4);
    SpeedButton5 = As<QToolButton>(C::SpeedButton5);
    Edit_Data = As<QLineEdit>(C::Edit_Data), Edit1 = As<QLineEdit>(C::Edit1);
    Button_Send = As<QPushButton>(C::Button_Send), Button_Open = As<QPushButton>(C::Button_Open);
    Button1 = As<QPushButton>(C::Button1), Button2 = As<QPushButton>(C::Button2);
    Button3 = As<QPushButton>(C::Button3), Button4 = As<QPushButton>(C::Button4);
    Button5 = As<QPushButton>(C::Button5);
    NewLine_CB = As<QCheckBox>(C::NewLine_CB);
    Panel1 = As<QLabel>(C::Panel1), Panel2 = As<QLabel>(C::Panel2);
    Panel3 = As<QLabel>(C::Panel3), Panel4 = As<QLabel>(C::Panel4);
    TipTrackBar1 = As<TTipTrackBar>(C::TipTrackBar1);
    cbbTypeFlash = As<QComboBox>(C::cbbTypeFlash), ComboBox1 = As<QComboBox>(C::ComboBox1);
    rgAuto = As<QGroupBox>(C::rgAuto);
    rgAutoSi = rgAuto->findChild<QRadioButton*>("rgAutoSi");
    rgAutoNo = rgAuto->findChild<QRadioButton*>("rgAutoNo");
    reTerminal = As<TTerminalView>(C::reTerminal);
    Memo1 = As<QPlainTextEdit>(C::Memo1);
    slConnexion = As<TpelLed>(C::slConnexion);
    pelLed1 = As<TpelLed>(C::pelLed1), pelLed2 = As<TpelLed>(C::pelLed2);
}

std::optional<QString> TForm1Controls::RunOpenDialog1() const
{
    const int result = OpenDialog1->exec();
    // Return typed into the name box may accept the dialog with its completion list still open;
    // that popup would stay over the window and take its next click.
    for (QCompleter* completer : OpenDialog1->findChildren<QCompleter*>())
        if (completer->popup() != nullptr) completer->popup()->hide();
    if (result != QDialog::Accepted || OpenDialog1->selectedFiles().isEmpty()) return std::nullopt;
    return OpenDialog1->selectedFiles().constFirst();
}
