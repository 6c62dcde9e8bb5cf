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
        fPeer.Send(text);
        ASSERT_TRUE(WaitForTerminal(shownAs)) << text;
    }
    // Proves that nothing went out before now: a digit is the next thing the peer sees.
    void ExpectNothingSentBefore()
    {
        fPeer.ClearReceived();
        fForm.SpeedButton5->click();
        EXPECT_TRUE(WaitForPeer("5")) << fPeer.Received();
        fPeer.ClearReceived();
    }
};

TEST_F(Responder, PromptIsAnsweredWithFirmwareAndArmsThePassword)
{
    DeviceSays("Menu\r\n1 Boot 2 Firmware\r\n>", ">");
    EXPECT_TRUE(WaitForPeer("2"));
    EXPECT_TRUE(fForm.Armed);

    fPeer.ClearReceived();
    DeviceSays("Password:", "Password:");
    EXPECT_TRUE(WaitForPeer("qxvt"));
    EXPECT_TRUE(fForm.Armed); // stays armed: every later ':' is answered too
    fPeer.ClearReceived();
    DeviceSays("Again:", "Again:");
    EXPECT_TRUE(WaitForPeer("qxvt"));
    EXPECT_FALSE(fForm.pelLed1->LedOn());
    EXPECT_FALSE(fForm.pelLed2->LedOn());
}

TEST_F(Responder, BootAnswersOneThenThePasswordFromOneChunk)
{
    fForm.cbbTypeFlash->setCurrentIndex(1);
    DeviceSays("> key:", "> key:");
    EXPECT_TRUE(WaitForPeer("1qxvt"));
}

TEST_F(Responder, NoTypeSelectedArmsButSendsNoDigit)
{
    fForm.cbbTypeFlash->setEditText("Other");
    DeviceSays(">", ">");
    EXPECT_TRUE(fForm.Armed);
    DeviceSays("pw:", "pw:");
    EXPECT_TRUE(WaitForPeer("qxvt"));
}

TEST_F(Responder, ManualModeIgnoresThePromptButHonoursADigitThatArmed)
{
    fForm.rgAutoNo->setChecked(true);
    DeviceSays("menu>", "menu>");
    EXPECT_FALSE(fForm.Armed);
    DeviceSays("pw:", "pw:");
    ExpectNothingSentBefore(); // neither "2" nor the password went out
    EXPECT_TRUE(fForm.Armed);  // the digit armed it

    DeviceSays("pw again:", "pw again:");
    EXPECT_TRUE(WaitForPeer("qxvt"));
}

TEST_F(Responder, TypedLineArmsAndIsSentAsTyped)
{
    fForm.Edit_Data->setText("help me");
    fForm.Button_Send->click();
    EXPECT_TRUE(WaitForPeer("help me"));
    EXPECT_TRUE(fForm.Armed);
    EXPECT_EQ(fForm.Edit_Data->text(), "help me");

    fPeer.ClearReceived();
    fForm.NewLine_CB->setChecked(true);
    fForm.Button_Send->click();
    EXPECT_TRUE(WaitForPeer("help me\r\n"));

    // In the code page the terminal shows received bytes in.
    fPeer.ClearReceived();
    fForm.NewLine_CB->setChecked(false);
    fForm.Edit_Data->setText(QString::fromUtf16(u"5\u20ac"));
    fForm.Button_Send->click();
    EXPECT_TRUE(WaitForPeer("5\x80"));
}

TEST_F(Responder, EnterInTheLineEditSendsTheLine)
{
    fForm.show();
    fForm.Edit_Data->setFocus();
    fForm.Edit_Data->setText("x");
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(fForm.Edit_Data, &enter);
    EXPECT_TRUE(WaitForPeer("x"));
}

TEST_F(Responder, InitSendsALineEndAndDisarms)
{
    DeviceSays(">", ">");
    ASSERT_TRUE(fForm.Armed);
    ASSERT_TRUE(WaitForPeer("2"));
    fPeer.ClearReceived();
    fForm.Button4->click();
    EXPECT_TRUE(WaitForPeer("\r\n"));
    EXPECT_FALSE(fForm.Armed);

    fForm.rgAutoNo->setChecked(true);
    DeviceSays("pw:", "pw:");
    ExpectNothingSentBefore();
}

TEST_F(Responder, OnlyAWholeCaseExactSendInOneChunkEnablesFlash)
{
    fForm.Button1->setEnabled(false);
    DeviceSays("Se", "Se");
    DeviceSays("nd\r\n", "Send");
    EXPECT_FALSE(fForm.Button1->isEnabled());
    DeviceSays("send ready\r\n", "send ready");
    EXPECT_FALSE(fForm.Button1->isEnabled());
    DeviceSays("loads3 Send file now\r\n", "file now");
    EXPECT_TRUE(fForm.Button1->isEnabled());
}

TEST_F(Responder, TerminalShowsWhatArrivedAndClearEmptiesIt)
{
    DeviceSays("line one\r\nline two\r", "line two");
    DeviceSays("\nthree", "three");
    EXPECT_EQ(fForm.reTerminal->Text(), "line one\nline two\nthree");
    fForm.Button3->click();
    EXPECT_EQ(fForm.reTerminal->Text(), "");
    DeviceSays("after", "after");
    EXPECT_EQ(fForm.reTerminal->Text(), "after");
}

TEST_F(Responder, DigitOverAClosedPortIsReportedAndDoesNotArm)
{
    fForm.Button_Open->click(); // disconnect
    ASSERT_FALSE(fForm.ComPort.Active());
    fForm.SpeedButton2->click();
    EXPECT_EQ(fReports, QStringList{"Port not open."});
    EXPECT_FALSE(fForm.Armed);

    fForm.Armed = true; // a failed send leaves the flag as it was
    fForm.SpeedButton3->click();
    EXPECT_TRUE(fForm.Armed);
    EXPECT_EQ(fReports.size(), 2);
}

TEST_F(Responder, EveryQuickDigitSendsItselfAlone)
{
    fForm.SpeedButton1->click();
    fForm.SpeedButton2->click();
    fForm.SpeedButton3->click();
    fForm.SpeedButton4->click();
    fForm.SpeedButton5->click();
    EXPECT_TRUE(WaitForPeer("12345"));
    EXPECT_TRUE(fForm.Armed);
}

} // namespace
