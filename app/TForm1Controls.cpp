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

    OpenDialog1 = new QFileDialog(parent);
    OpenDialog1->setObjectName("OpenDialog1");
    OpenDialog1->setAcceptMode(QFileDialog::AcceptOpen);
    OpenDialog1->setFileMode(QFileDialog::AnyFile);
}

QWidget* TForm1Controls::CreateControl(QWidget* parent, const TControlLayout& layout)
{
    const QString text = Utf8(layout.Text);
    switch (layout.Class) {
    case TControlClass::Gauge: {
        auto* gauge = new TGauge(parent);
        gauge->SetProgress(0);
        ProgressBar1 = gauge;
        return gauge;
    }
    case TControlClass::Label:
    case TControlClass::Panel: {
        auto* label = new QLabel(text, parent);
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
        auto* button = new QToolButton(parent);
        button->setText(text);
        button->setFocusPolicy(Qt::NoFocus); // speed buttons never take the focus
        QToolButton** places[] = {&SpeedButton1, &SpeedButton2, &SpeedButton3, &SpeedButton4,
                                  &SpeedButton5};
        *places[static_cast<int>(layout.Id) - static_cast<int>(TControl::SpeedButton1)] = button;
        return button;
    }
    case TControlClass::Edit: {
        auto* edit = new QLineEdit(parent);
        (layout.Id == TControl::Edit_Data ? Edit_Data : Edit1) = edit;
        return edit;
    }
    case TControlClass::Button: {
        auto* button = new QPushButton(text, parent);
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
        NewLine_CB = new QCheckBox(text, parent);
        NewLine_CB->setChecked(layout.Checked);
        return NewLine_CB;
    case TControlClass::TipTrackBar:
        TipTrackBar1 = new TTipTrackBar(parent);
        TipTrackBar1->SetMax(layout.Max);
        TipTrackBar1->SetPosition(layout.Position);
        TipTrackBar1->SetShowHint(true);
        return TipTrackBar1;
    case TControlClass::ComboBox: {
        QComboBox* box =
            layout.Id == TControl::ComboBox1 ? new TPortComboBox(parent) : new QComboBox(parent);
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
        rgAuto = new QGroupBox(text, parent);
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
        reTerminal = new TTerminalView(parent);
        return reTerminal;
    case TControlClass::Memo:
        Memo1 = new QPlainTextEdit(parent);
        Memo1->setUndoRedoEnabled(false);
        Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        return Memo1;
    case TControlClass::Led: {
        auto* lamp = new TpelLed(parent);
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
