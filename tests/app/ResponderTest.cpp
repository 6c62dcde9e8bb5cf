// What the window shows and answers when the device talks to it outside a transfer.
#include "tests/app/WindowTestFixture.h"
#include "widgets/TGauge.h"
#include "widgets/TTipTrackBar.h"
#include "widgets/TpelLed.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRadioButton>
#include <QToolButton>

namespace {

class Responder : public WindowWithPeer
{
protected:
    void SetUp() override
    {
        WindowWithPeer::SetUp();
        Connect();
    }
    // Device output, waited for until the window has handled it.
    void DeviceSays(const std::string& text, const QString& shownAs)
    {
        Peer.Write(text);
        ASSERT_TRUE(WaitForTerminal(shownAs)) << text;
    }
    // Proves that nothing went out before now: a digit is the next thing the peer sees.
    void ExpectNothingSentBefore()
    {
        Peer.ClearReceived();
        Form.SpeedButton5->click();
        EXPECT_TRUE(WaitForPeer("5")) << Peer.Received();
        Peer.ClearReceived();
    }
};

TEST_F(Responder, PromptIsAnsweredWithFirmwareAndArmsThePassword)
{
    DeviceSays("Menu\r\n1 Boot 2 Firmware\r\n>", ">");
    EXPECT_TRUE(WaitForPeer("2"));
    EXPECT_TRUE(Form.Armed);

    Peer.ClearReceived();
    DeviceSays("Password:", "Password:");
    EXPECT_TRUE(WaitForPeer("qxvt"));
    EXPECT_TRUE(Form.Armed); // stays armed: every later ':' is answered too
    Peer.ClearReceived();
    DeviceSays("Again:", "Again:");
    EXPECT_TRUE(WaitForPeer("qxvt"));
    EXPECT_FALSE(Form.pelLed1->LedOn());
    EXPECT_FALSE(Form.pelLed2->LedOn());
}

TEST_F(Responder, BootAnswersOneThenThePasswordFromOneChunk)
{
    Form.cbbTypeFlash->setCurrentIndex(1);
    DeviceSays("> key:", "> key:");
    EXPECT_TRUE(WaitForPeer("1qxvt"));
}

TEST_F(Responder, NoTypeSelectedArmsButSendsNoDigit)
{
    Form.cbbTypeFlash->setEditText("Other");
    DeviceSays(">", ">");
    EXPECT_TRUE(Form.Armed);
    DeviceSays("pw:", "pw:");
    EXPECT_TRUE(WaitForPeer("qxvt"));
}

TEST_F(Responder, ManualModeIgnoresThePromptButHonoursADigitThatArmed)
{
    Form.rgAutoNo->setChecked(true);
    DeviceSays("menu>", "menu>");
    EXPECT_FALSE(Form.Armed);
    DeviceSays("pw:", "pw:");
    ExpectNothingSentBefore(); // neither "2" nor the password went out
    EXPECT_TRUE(Form.Armed);   // the digit armed it

    DeviceSays("pw again:", "pw again:");
    EXPECT_TRUE(WaitForPeer("qxvt"));
}

TEST_F(Responder, TypedLineArmsAndIsSentAsTyped)
{
    Form.Edit_Data->setText("help me");
    Form.Button_Send->click();
    EXPECT_TRUE(WaitForPeer("help me"));
    EXPECT_TRUE(Form.Armed);
    EXPECT_EQ(Form.Edit_Data->text(), "help me");

    Peer.ClearReceived();
    Form.NewLine_CB->setChecked(true);
    Form.Button_Send->click();
    EXPECT_TRUE(WaitForPeer("help me\r\n"));

    // In the code page the terminal shows received bytes in.
    Peer.ClearReceived();
    Form.NewLine_CB->setChecked(false);
    Form.Edit_Data->setText(QString::fromUtf16(u"5\u20ac"));
    Form.Button_Send->click();
    EXPECT_TRUE(WaitForPeer("5\x80"));
}

TEST_F(Responder, EnterInTheLineEditSendsTheLine)
{
    Form.show();
    Form.Edit_Data->setFocus();
    Form.Edit_Data->setText("x");
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(Form.Edit_Data, &enter);
    EXPECT_TRUE(WaitForPeer("x"));
}

TEST_F(Responder, InitSendsALineEndAndDisarms)
{
    DeviceSays(">", ">");
    ASSERT_TRUE(Form.Armed);
    ASSERT_TRUE(WaitForPeer("2"));
    Peer.ClearReceived();
    Form.Button4->click();
    EXPECT_TRUE(WaitForPeer("\r\n"));
    EXPECT_FALSE(Form.Armed);

    Form.rgAutoNo->setChecked(true);
    DeviceSays("pw:", "pw:");
    ExpectNothingSentBefore();
}

TEST_F(Responder, OnlyAWholeCaseExactSendInOneChunkEnablesFlash)
{
    Form.Button1->setEnabled(false);
    DeviceSays("Se", "Se");
    DeviceSays("nd\r\n", "Send");
    EXPECT_FALSE(Form.Button1->isEnabled());
    DeviceSays("send ready\r\n", "send ready");
    EXPECT_FALSE(Form.Button1->isEnabled());
    DeviceSays("loads3 Send file now\r\n", "file now");
    EXPECT_TRUE(Form.Button1->isEnabled());
}

TEST_F(Responder, TerminalShowsWhatArrivedAndClearEmptiesIt)
{
    DeviceSays("line one\r\nline two\r", "line two");
    DeviceSays("\nthree", "three");
    EXPECT_EQ(Form.reTerminal->toPlainText(), "line one\nline two\nthree");
    Form.Button3->click();
    EXPECT_EQ(Form.reTerminal->toPlainText(), "");
    DeviceSays("after", "after");
    EXPECT_EQ(Form.reTerminal->toPlainText(), "after");
}

TEST_F(Responder, DigitOverAClosedPortIsReportedAndDoesNotArm)
{
    Form.Button_Open->click(); // disconnect
    ASSERT_FALSE(Form.ComPort.Active());
    Form.SpeedButton2->click();
    EXPECT_EQ(Reports, QStringList{"Port not open."});
    EXPECT_FALSE(Form.Armed);

    Form.Armed = true; // a failed send leaves the flag as it was
    Form.SpeedButton3->click();
    EXPECT_TRUE(Form.Armed);
    EXPECT_EQ(Reports.size(), 2);
}

TEST_F(Responder, EveryQuickDigitSendsItselfAlone)
{
    Form.SpeedButton1->click();
    Form.SpeedButton2->click();
    Form.SpeedButton3->click();
    Form.SpeedButton4->click();
    Form.SpeedButton5->click();
    EXPECT_TRUE(WaitForPeer("12345"));
    EXPECT_TRUE(Form.Armed);
}

} // namespace
