// The main window against its layout: geometry, texts, fonts, tab order, visibility, enabled state.
#include "app/TForm1.h"
#include "widgets/TGauge.h"
#include "widgets/TTipTrackBar.h"
#include "widgets/TpelLed.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

struct TControlRow
{
    const char* Name;
    const char* QtClass;
    int Left, Top, Width, Height;
    const char* Text; // nullptr: the control has no text of its own to check
    int FontPixels;
    bool Bold;
    bool Visible;
    bool Enabled;
};

// Creation order, as laid out.
const TControlRow Layout[] = {
    {"ProgressBar1", "TGauge", 98, 348, 409, 21, nullptr, 11, false, true, true},
    {"Label2", "QLabel", 188, 260, 9, 21, "-", 15, true, false, true},
    {"Label1", "QLabel", 368, 264, 9, 21, "+", 15, true, false, true},
    {"SpeedButton1", "QToolButton", 394, 134, 30, 21, "1", 11, false, true, true},
    {"SpeedButton2", "QToolButton", 432, 134, 30, 21, "2", 11, false, true, true},
    {"SpeedButton3", "QToolButton", 470, 134, 30, 21, "3", 11, false, true, true},
    {"SpeedButton4", "QToolButton", 508, 134, 30, 21, "4", 11, false, true, true},
    {"SpeedButton5", "QToolButton", 546, 134, 30, 21, "5", 11, false, true, true},
    {"Label3", "QLabel", 194, 238, 175, 15, "Duree de pause entre chaque ligne", 11, false, false,
     true},
    {"Label4", "QLabel", 430, 250, 51, 15, "Ricezione", 11, false, true, true},
    {"Label5", "QLabel", 524, 250, 45, 15, "Invio.. ", 11, false, true, true},
    {"Edit_Data", "QLineEdit", 394, 158, 83, 25, "", 12, false, true, true},
    {"Button_Send", "QPushButton", 480, 158, 97, 25, "Invia linea", 12, false, true, true},
    {"NewLine_CB", "QCheckBox", 452, 302, 99, 17, "Envoi new ligne", 15, false, false, true},
    {"Panel2", "QLabel", 510, 348, 67, 21, "", 13, false, true, true},
    {"Button3", "QPushButton", 394, 214, 183, 23, "Pulisci Log ....", 11, false, true, true},
    {"Panel1", "QLabel", 4, 324, 573, 21, "", 15, false, true, true},
    {"TipTrackBar1", "TTipTrackBar", 198, 258, 169, 29, nullptr, 11, false, false, true},
    {"Button1", "QPushButton", 394, 188, 83, 23, "Flash", 12, false, true, true},
    {"Button2", "QPushButton", 482, 188, 95, 23, "Stop Flash", 12, false, true, true},
    {"Button4", "QPushButton", 500, 70, 51, 23, "Init", 12, false, true, false},
    {"cbbTypeFlash", "QComboBox", 480, 42, 97, 23, "Firmware", 11, false, true, true},
    {"Button5", "QPushButton", 394, 4, 183, 35, "CHIUDI!", 16, true, true, true},
    {"Panel3", "QLabel", 4, 348, 91, 21, "", 13, false, true, true},
    {"Button_Open", "QPushButton", 394, 70, 101, 23, "Connetti Porta", 12, false, true, true},
    {"rgAuto", "QGroupBox", 394, 96, 183, 31, "Automatico.", 11, false, true, true},
    {"Panel4", "QLabel", 4, 300, 573, 21, "", 15, false, true, true},
    {"reTerminal", "TTerminalView", 6, 6, 381, 289, "", 13, false, true, true},
    {"ComboBox1", "QComboBox", 394, 42, 81, 23, "Com2", 11, false, true, true},
    {"Memo1", "QPlainTextEdit", 4, 372, 571, 169, "", 11, false, false, true},
    {"Edit1", "QLineEdit", 4, 374, 123, 23, "", 11, false, false, true},
    {"slConnexion", "TpelLed", 556, 74, 15, 15, nullptr, 11, false, true, true},
    {"pelLed1", "TpelLed", 502, 250, 15, 15, nullptr, 11, false, true, true},
    {"pelLed2", "TpelLed", 404, 250, 15, 15, nullptr, 11, false, true, true},
};

QString TextOf(QWidget* widget)
{
    if (auto* w = qobject_cast<QAbstractButton*>(widget)) return w->text();
    if (auto* w = qobject_cast<QLabel*>(widget)) return w->text();
    if (auto* w = qobject_cast<QLineEdit*>(widget)) return w->text();
    if (auto* w = qobject_cast<QComboBox*>(widget)) return w->currentText();
    if (auto* w = qobject_cast<QGroupBox*>(widget)) return w->title();
    if (auto* w = qobject_cast<QPlainTextEdit*>(widget)) return w->toPlainText();
    return {};
}

class WindowLayout : public testing::Test
{
protected:
    TForm1 fForm;
};

TEST_F(WindowLayout, WindowFrameAndCaption)
{
    EXPECT_EQ(fForm.windowTitle(), "Tarvel" + QString(28, ' ') + "Bidouille ======> pour KRO");
    EXPECT_EQ(fForm.size(), QSize(579, 374));
    EXPECT_EQ(fForm.minimumSize(), QSize(579, 374));
    EXPECT_EQ(fForm.maximumSize(), QSize(579, 374));
    EXPECT_EQ(fForm.pos(), QPoint(285, 118));
    const Qt::WindowFlags flags = fForm.windowFlags();
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(fForm.font().family(), "Comic Sans MS");
    EXPECT_EQ(fForm.font().pixelSize(), 11);
}

TEST_F(WindowLayout, EveryControlAsLaidOutInCreationOrder)
{
    QList<QWidget*> created;
    for (QObject* child : fForm.children()) {
        if (auto* w = qobject_cast<QWidget*>(child); w && !qobject_cast<QFileDialog*>(w))
            created << w;
    }
    ASSERT_EQ(created.size(), static_cast<qsizetype>(std::size(Layout)));
    for (std::size_t i = 0; i < std::size(Layout); ++i) {
        const TControlRow& row = Layout[i];
        SCOPED_TRACE(row.Name);
        QWidget* widget = created[static_cast<qsizetype>(i)];
        EXPECT_EQ(widget->objectName(), row.Name);
        EXPECT_TRUE(widget->inherits(row.QtClass)) << widget->metaObject()->className();
        EXPECT_EQ(widget->geometry(), QRect(row.Left, row.Top, row.Width, row.Height));
        if (row.Text != nullptr) {
            EXPECT_EQ(TextOf(widget), QString::fromUtf8(row.Text));
        }
        EXPECT_EQ(widget->font().family(), "Comic Sans MS");
        EXPECT_EQ(widget->font().pixelSize(), row.FontPixels);
        EXPECT_EQ(widget->font().bold(), row.Bold);
        EXPECT_EQ(widget->isVisibleTo(&fForm), row.Visible);
        EXPECT_EQ(widget->isEnabled(), row.Enabled);
    }
}

TEST_F(WindowLayout, MembersAreTheNamedControls)
{
    EXPECT_EQ(fForm.findChild<QWidget*>("Button1"), fForm.Button1);
    EXPECT_EQ(fForm.findChild<QWidget*>("reTerminal"), fForm.reTerminal);
    EXPECT_EQ(fForm.findChild<QWidget*>("ProgressBar1"), fForm.ProgressBar1);
    EXPECT_EQ(fForm.findChild<QWidget*>("slConnexion"), fForm.slConnexion);
    EXPECT_EQ(fForm.findChild<QFileDialog*>("OpenDialog1"), fForm.OpenDialog1);
}

TEST_F(WindowLayout, MissingComicSansIsReplacedByComicNeue)
{
    if (QFontDatabase::hasFamily("Comic Sans MS")) GTEST_SKIP() << "Comic Sans MS is installed";
    ASSERT_TRUE(QFontDatabase::hasFamily("Comic Neue")) << "fonts-comic-neue is not installed";
    EXPECT_EQ(QFontInfo(fForm.Button5->font()).family(), "Comic Neue");
    EXPECT_EQ(QFontInfo(fForm.reTerminal->font()).family(), "Comic Neue");
}

TEST_F(WindowLayout, TabOrder)
{
    const QList<QWidget*> expected = {
        fForm.Button_Open, fForm.Edit_Data,    fForm.Button_Send,  fForm.NewLine_CB,
        fForm.Button1,     fForm.Button2,      fForm.cbbTypeFlash, fForm.Button3,
        fForm.Button4,     fForm.TipTrackBar1, fForm.Button5,      fForm.rgAutoSi,
        fForm.reTerminal,  fForm.ComboBox1,    fForm.Memo1,        fForm.Edit1};
    QList<QWidget*> chain;
    QWidget* w = fForm.Button_Open;
    do {
        if (expected.contains(w) && !chain.contains(w)) chain << w;
        w = w->nextInFocusChain();
    } while (w != fForm.Button_Open && chain.size() < expected.size());
    EXPECT_EQ(chain, expected);
    for (QWidget* panel : {fForm.Panel1, fForm.Panel2, fForm.Panel3, fForm.Panel4})
        EXPECT_EQ(panel->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(fForm.SpeedButton1->focusPolicy(), Qt::NoFocus);
}

TEST_F(WindowLayout, ChoicesAndTheirInitialSelection)
{
    ASSERT_EQ(fForm.ComboBox1->count(), 2);
    EXPECT_EQ(fForm.ComboBox1->itemText(0), "Com1");
    EXPECT_EQ(fForm.ComboBox1->itemText(1), "Com2");
    EXPECT_EQ(TForm1::SelectedIndex(fForm.ComboBox1), 1);
    EXPECT_TRUE(fForm.ComboBox1->isEditable());
    ASSERT_EQ(fForm.cbbTypeFlash->count(), 2);
    EXPECT_EQ(fForm.cbbTypeFlash->itemText(1), "Boot");
    EXPECT_EQ(TForm1::SelectedIndex(fForm.cbbTypeFlash), 0);
    EXPECT_TRUE(fForm.cbbTypeFlash->isEditable());
    EXPECT_EQ(fForm.rgAutoSi->text(), "Si.");
    EXPECT_EQ(fForm.rgAutoNo->text(), "No.");
    EXPECT_EQ(fForm.rgAutoItemIndex(), 0);
    EXPECT_EQ(fForm.rgAutoSi->y(), fForm.rgAutoNo->y()); // two columns, one row
    EXPECT_LT(fForm.rgAutoSi->x(), fForm.rgAutoNo->x());
    EXPECT_FALSE(fForm.NewLine_CB->isChecked());
    EXPECT_TRUE(fForm.Button_Send->isDefault());
}

TEST_F(WindowLayout, TypedComboTextSelectsNothing)
{
    fForm.cbbTypeFlash->setEditText("Firm");
    EXPECT_EQ(TForm1::SelectedIndex(fForm.cbbTypeFlash), -1);
    fForm.cbbTypeFlash->setEditText("Boot"); // the text alone is not a selection
    EXPECT_EQ(TForm1::SelectedIndex(fForm.cbbTypeFlash), -1);
    fForm.cbbTypeFlash->setCurrentIndex(1);
    EXPECT_EQ(TForm1::SelectedIndex(fForm.cbbTypeFlash), 1);
}

TEST_F(WindowLayout, TerminalLooksLikeAConsole)
{
    const QPalette colours = fForm.reTerminal->palette();
    EXPECT_EQ(colours.color(QPalette::Base), QColor(Qt::black));
    EXPECT_EQ(colours.color(QPalette::Text), QColor(Qt::white));
    EXPECT_EQ(fForm.reTerminal->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
}

TEST_F(WindowLayout, LampsAndGauge)
{
    struct
    {
        TpelLed* Lamp;
        TColor On, Off;
    } lamps[] = {{fForm.slConnexion, clRed, clMaroon},
                 {fForm.pelLed1, clLime, clGreen},
                 {fForm.pelLed2, clBlue, clNavy}};
    for (const auto& lamp : lamps) {
        SCOPED_TRACE(lamp.Lamp->objectName().toStdString());
        EXPECT_EQ(lamp.Lamp->OnColor(), lamp.On);
        EXPECT_EQ(lamp.Lamp->OffColor(), lamp.Off);
        EXPECT_FALSE(lamp.Lamp->LedOn());
        EXPECT_FALSE(lamp.Lamp->Flashing());
        EXPECT_EQ(lamp.Lamp->Frequency(), 200);
    }
    EXPECT_EQ(fForm.ProgressBar1->Progress(), 0);
}

TEST_F(WindowLayout, PortSettings)
{
    EXPECT_FALSE(fForm.ComPort.Active());
    EXPECT_EQ(fForm.ComPort.Port(), 2);
    EXPECT_EQ(fForm.ComPort.Baudrate(), 115200);
    EXPECT_EQ(fForm.ComPort.ByteSize(), 8);
    EXPECT_EQ(fForm.ComPort.Parity(), ptNone);
    EXPECT_EQ(fForm.ComPort.StopBits(), sbOne);
    EXPECT_EQ(fForm.ComPort.FlowCtrl().RxDtrControl(), dtrEnable);
    EXPECT_EQ(fForm.ComPort.FlowCtrl().RxRtsControl(), rtsEnable);
    EXPECT_FALSE(fForm.ComPort.FlowCtrl().XonXoff());
    EXPECT_FALSE(fForm.ComPort.FlowCtrl().TxCtsFlow());
    EXPECT_FALSE(fForm.ComPort.LineMode());
    EXPECT_FALSE(fForm.ComPort.RxThresholdUse());
    EXPECT_EQ(fForm.ComPort.RxBuffer(), 8192);
    EXPECT_EQ(fForm.ComPort.TxBuffer(), 8192);
}

TEST_F(WindowLayout, FieldsStartClear)
{
    EXPECT_FALSE(fForm.StopRequested);
    EXPECT_FALSE(fForm.FlashInProgress);
    EXPECT_FALSE(fForm.Armed);
    EXPECT_FALSE(fForm.ReplyReceived);
    EXPECT_EQ(fForm.LineCount, 0);
    EXPECT_EQ(fForm.WindowCount, 0);
}

TEST_F(WindowLayout, PauseTrackBarHintFollowsItsPosition)
{
    EXPECT_EQ(fForm.TipTrackBar1->Hint(), "10");
    EXPECT_EQ(fForm.TipTrackBar1->Position(), 10);
    EXPECT_EQ(fForm.TipTrackBar1->Max(), 15);
    EXPECT_EQ(fForm.TipTrackBar1->Min(), 0);
    fForm.TipTrackBar1->SetPosition(0);
    EXPECT_EQ(fForm.TipTrackBar1->Hint(), "0");
    fForm.TipTrackBar1->SetPosition(15);
    EXPECT_EQ(fForm.TipTrackBar1->Hint(), "15");
    for (QWidget* w :
         {static_cast<QWidget*>(fForm.TipTrackBar1), static_cast<QWidget*>(fForm.Label1),
          static_cast<QWidget*>(fForm.Label2), static_cast<QWidget*>(fForm.Label3)})
        EXPECT_FALSE(w->isVisibleTo(&fForm));
}

} // namespace
