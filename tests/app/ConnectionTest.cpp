// Choosing the port, connecting, disconnecting, losing the device and closing the window.
#include "serial/PosixDeviceUsers.h"
#include "session/OpenFailureReason.h"
#include "tests/app/WindowTestFixture.h"
#include "tests/serial/FakeSerialBackend.h"
#include "widgets/TGauge.h"
#include "widgets/TTipTrackBar.h"
#include "widgets/TpelLed.h"

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QMessageBox>
#include <QTimer>
#include <QToolButton>

#include <cerrno>

namespace {

using Connection = WindowWithPeer;

TEST_F(Connection, ConnectingLightsTheLampAndEnablesInit)
{
    Connect();
    EXPECT_TRUE(Form.slConnexion->LedOn());
    EXPECT_TRUE(Form.Button4->isEnabled());
    EXPECT_TRUE(Form.Button1->isEnabled()); // Flash is left as it was
    EXPECT_EQ(Form.Button_Open->text(), "Connetti Porta");
    EXPECT_TRUE(Reports.isEmpty());

    Form.Armed = true;
    Form.Button_Open->click();
    EXPECT_FALSE(Form.ComPort.Active());
    EXPECT_FALSE(Form.Armed);
    EXPECT_FALSE(Form.slConnexion->LedOn());
    EXPECT_FALSE(Form.Button4->isEnabled());
    EXPECT_FALSE(Form.Button1->isEnabled());
    EXPECT_EQ(Form.Button_Open->text(), "Connetti Porta");
}

TEST_F(Connection, ConnectingClearsArmedFirst)
{
    Form.Armed = true;
    Connect();
    EXPECT_FALSE(Form.Armed);
}

TEST_F(Connection, FailedOpenIsReportedAndCanBeRetried)
{
    Form.ComPort.SetDevicePath(2, "/nonexistent/ttyTarvel");
    Form.Armed = true;
    Form.Button_Open->click();
    ASSERT_EQ(Reports.size(), 1);
    EXPECT_EQ(Reports[0],
              "Cannot open port '/nonexistent/ttyTarvel'\n"
              "Nothing is plugged in there; tarvel --list-ports lists what is present.");
    EXPECT_FALSE(Form.ComPort.Active());
    EXPECT_FALSE(Form.Armed);
    EXPECT_FALSE(Form.Button4->isEnabled());
    EXPECT_FALSE(Form.slConnexion->LedOn());

    Form.Button_Open->click(); // tries again
    EXPECT_EQ(Reports.size(), 2);

    Form.ComPort.SetDevicePath(2, Peer.DevicePath());
    Form.Button_Open->click();
    EXPECT_TRUE(Form.ComPort.Active());
    EXPECT_TRUE(Form.Button4->isEnabled());
    EXPECT_TRUE(Form.slConnexion->LedOn());
    EXPECT_EQ(Reports.size(), 2);
}

// The second line says why, in words to act on: who holds a busy port, which group may use it.
TEST_F(Connection, FailedOpenSaysWhy)
{
    Form.ComPort.SetDevicePath(2, Peer.DevicePath());
    TForm1 other;
    other.ComPort.SetDevicePath(2, Peer.DevicePath());
    Form.Button_Open->click();
    other.Button_Open->click();
    ASSERT_EQ(Reports.size(), 1);
    const QStringList lines = Reports[0].split('\n');
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], QString::fromStdString("Cannot open port '" + Peer.DevicePath() + "'"));
    EXPECT_EQ(lines[1], QStringLiteral("It is in use by another program: %1 (process %2).")
                            .arg(QCoreApplication::applicationFilePath().section('/', -1).left(15))
                            .arg(QCoreApplication::applicationPid()));

    const std::string denied = OpenFailureReason(Peer.DevicePath(), EACCES);
    const std::string group = DeviceGroupName(Peer.DevicePath()).value();
    EXPECT_NE(denied.find("'" + group + "'"), std::string::npos) << denied;
    EXPECT_NE(denied.find("usermod -aG " + group), std::string::npos) << denied;
}

TEST_F(Connection, ReceptionThatStopsOnItsOwnClosesThePortAndSaysWhy)
{
    TFakeSerialBackend backend;
    TFakePort& port = backend.AddPort("/dev/fake");
    TForm1 form(nullptr, &backend);
    form.ComPort.SetDevicePath(2, "/dev/fake");
    form.Button_Open->click();
    ASSERT_TRUE(form.ComPort.Active());
    port.ThrowInThread("cannot start the modem-line watcher");
    ASSERT_TRUE(WaitUntil([&] { return !Reports.isEmpty(); }));
    EXPECT_EQ(Reports,
              QStringList{"Porta '/dev/fake' chiusa: cannot start the modem-line watcher."});
    EXPECT_FALSE(form.ComPort.Active());
    EXPECT_FALSE(form.slConnexion->LedOn());
}

TEST_F(Connection, ChoosingCom1WhileConnectedKeepsTheOpenDeviceUntilReconnect)
{
    TPtyPeer com1;
    Form.ComPort.SetDevicePath(1, com1.DevicePath());
    Connect();
    Form.ComboBox1->setCurrentIndex(0);
    EXPECT_EQ(Form.ComPort.Port(), 1);
    EXPECT_TRUE(Form.ComPort.Active());

    Form.SpeedButton4->click();
    EXPECT_TRUE(WaitForPeer("4"));

    Form.Button_Open->click(); // disconnect
    Form.Button_Open->click(); // connect again, now on COM1
    ASSERT_TRUE(Form.ComPort.Active());
    Form.SpeedButton5->click();
    EXPECT_TRUE(WaitUntil([&] { return com1.Received() == "5"; }));
    EXPECT_EQ(Peer.Received(), "4");

    Form.ComboBox1->setCurrentIndex(1);
    EXPECT_EQ(Form.ComPort.Port(), 2);
    Form.ComboBox1->setEditText("Com"); // typed text selects nothing: the port stays
    EXPECT_EQ(Form.ComPort.Port(), 2);
}

TEST_F(Connection, ClosingTheWindowReleasesTheDevice)
{
    Connect();
    Form.show();
    EXPECT_TRUE(Form.close());
    EXPECT_FALSE(Form.ComPort.Active());

    // Another program (here a second port object) can now take the device.
    QtMainThreadExecutor executor;
    TQorComPort other(executor);
    other.SetDevicePath(2, Peer.DevicePath());
    other.SetPort(2);
    EXPECT_NO_THROW(other.SetActive(true));
    EXPECT_TRUE(other.Active());
}

TEST_F(Connection, ClosingIsRefusedWhileFlashing)
{
    Form.show();
    Form.FlashInProgress = true;
    EXPECT_FALSE(Form.close());
    EXPECT_TRUE(Form.isVisible());
    Form.Button5->click();
    EXPECT_TRUE(Form.isVisible());
    EXPECT_EQ(Warnings, (QStringList{"Flash in corso, impossibile fermare. !!!",
                                     "Flash in corso, impossibile fermare. !!!"}));

    Form.Button2->click(); // Stop Flash
    EXPECT_FALSE(Form.FlashInProgress);
    Form.Button5->click();
    EXPECT_FALSE(Form.isVisible());
    EXPECT_EQ(Warnings.size(), 2);
}

TEST_F(Connection, PulledDeviceShowsTheDisconnectedStateAndTellsTheOperator)
{
    Connect();
    Form.Armed = true;
    Peer.Write("hello\r\n");
    ASSERT_TRUE(WaitForTerminal("hello"));

    Peer.HangUp();
    ASSERT_TRUE(WaitUntil([&] { return !Reports.isEmpty(); }));
    EXPECT_FALSE(Form.ComPort.Active());
    EXPECT_FALSE(Form.slConnexion->LedOn());
    EXPECT_FALSE(Form.Button4->isEnabled());
    EXPECT_FALSE(Form.Button1->isEnabled());
    EXPECT_FALSE(Form.Armed);
    ASSERT_EQ(Reports.size(), 1);
    EXPECT_TRUE(Reports[0].contains(QString::fromStdString(Form.ComPort.DevicePath(2))))
        << Reports[0].toStdString();

    // Sending now fails as on any closed port; connecting again is possible once it is back.
    Form.SpeedButton1->click();
    EXPECT_EQ(Reports.last(), "Port not open.");
}

} // namespace

namespace {

TEST(ClosingWhileFlashing, RefusalIsAModalWarningWithOneOkButton)
{
    TForm1 form;
    form.show();
    form.FlashInProgress = true;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttons = -1;
    QTimer inspector;
    QObject::connect(&inspector, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) return;
        inspector.stop();
        text = box->text();
        icon = box->icon();
        buttons = static_cast<int>(box->buttons().size());
        box->button(QMessageBox::Ok)->click();
    });
    inspector.start(20);
    EXPECT_FALSE(form.close()); // returns once the warning is dismissed
    EXPECT_EQ(text, "Flash in corso, impossibile fermare. !!!");
    EXPECT_EQ(icon, QMessageBox::Warning);
    EXPECT_EQ(buttons, 1);
    EXPECT_TRUE(form.isVisible());
    form.FlashInProgress = false;
}

} // namespace
