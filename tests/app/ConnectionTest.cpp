// Choosing the port, connecting, disconnecting, losing the device and closing the window.
#include "serial/DeviceUsers.h"
#include "session/OpenFailureReason.h"
#include "tests/app/WindowTestFixture.h"
#include "tests/serial/FakeSerialBackend.h"
#include "widgets/TGauge.h"
#include "widgets/TTipTrackBar.h"
#include "widgets/TpelLed.h"

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <QToolButton>

#include <cerrno>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

namespace {

using Connection = WindowWithPeer;

TEST_F(Connection, ConnectingLightsTheLampAndEnablesInit)
{
    Connect();
    EXPECT_TRUE(fForm.slConnexion->LedOn());
    EXPECT_TRUE(fForm.Button4->isEnabled());
    EXPECT_TRUE(fForm.Button1->isEnabled()); // Flash is left as it was
    EXPECT_EQ(fForm.Button_Open->text(), "Connetti Porta");
    EXPECT_TRUE(fReports.isEmpty());

    fForm.Armed = true;
    fForm.Button_Open->click();
    EXPECT_FALSE(fForm.ComPort.Active());
    EXPECT_FALSE(fForm.Armed);
    EXPECT_FALSE(fForm.slConnexion->LedOn());
    EXPECT_FALSE(fForm.Button4->isEnabled());
    EXPECT_FALSE(fForm.Button1->isEnabled());
    EXPECT_EQ(fForm.Button_Open->text(), "Connetti Porta");
}

TEST_F(Connection, ConnectingClearsArmedFirst)
{
    fForm.Armed = true;
    Connect();
    EXPECT_FALSE(fForm.Armed);
}

TEST_F(Connection, FailedOpenIsReportedAndCanBeRetried)
{
    fForm.ComPort.SetDevicePath(2, "/nonexistent/ttyTarvel");
    fForm.Armed = true;
    fForm.Button_Open->click();
    ASSERT_EQ(fReports.size(), 1);
    EXPECT_EQ(fReports[0],
              "Cannot open port '/nonexistent/ttyTarvel'\n"
              "Nothing is plugged in there; tarvel --list-ports lists what is present.");
    EXPECT_FALSE(fForm.ComPort.Active());
    EXPECT_FALSE(fForm.Armed);
    EXPECT_FALSE(fForm.Button4->isEnabled());
    EXPECT_FALSE(fForm.slConnexion->LedOn());

    fForm.Button_Open->click(); // tries again
    EXPECT_EQ(fReports.size(), 2);

    fForm.ComPort.SetDevicePath(2, fPeer.DevicePath());
    fForm.Button_Open->click();
    EXPECT_TRUE(fForm.ComPort.Active());
    EXPECT_TRUE(fForm.Button4->isEnabled());
    EXPECT_TRUE(fForm.slConnexion->LedOn());
    EXPECT_EQ(fReports.size(), 2);
}

// The second line says why, in words to act on: who holds a busy port, which group may use it.
TEST_F(Connection, FailedOpenSaysWhy)
{
    fForm.ComPort.SetDevicePath(2, fPeer.DevicePath());
    TForm1 other;
    other.ComPort.SetDevicePath(2, fPeer.DevicePath());
    fForm.Button_Open->click();
    other.Button_Open->click();
    ASSERT_EQ(fReports.size(), 1);
    const QStringList lines = fReports[0].split('\n');
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], QString::fromStdString("Cannot open port '" + fPeer.DevicePath() + "'"));
    EXPECT_EQ(lines[1], QStringLiteral("It is in use by another program: %1 (process %2).")
                            .arg(QCoreApplication::applicationFilePath().section('/', -1).left(15))
                            .arg(QCoreApplication::applicationPid()));

    const std::string denied = OpenFailureReason(fPeer.DevicePath(), EACCES);
    const std::string group = DeviceGroupName(fPeer.DevicePath()).value();
    EXPECT_NE(denied.find("'" + group + "'"), std::string::npos) << denied;
    EXPECT_NE(denied.find("usermod -aG " + group), std::string::npos) << denied;

    // A USB adapter may be opened by the user at the seat through the package's udev rule: that
    // way comes first; every port names the group for a remote login.
    for (const auto& [path, usb] :
         {std::pair{"/dev/ttyUSB3", true}, std::pair{"/dev/ttyACM0", true},
          std::pair{"/dev/ttyS0", false}}) {
        const std::string reason = OpenFailureReason(path, EACCES);
        EXPECT_EQ(reason.find("plug it in again") != std::string::npos, usb) << reason;
        EXPECT_NE(reason.find("usermod -aG "), std::string::npos) << reason;
    }

    // A port across the network: the resolver's or the connection's reason, in those terms.
    for (const auto& [path, error, words] :
         {std::tuple{"rfc2217://rig:2001", ENXIO, "host name is not known"},
          std::tuple{"tcp://rig:2001", ECONNREFUSED, "is ser2net running there"},
          std::tuple{"rfc2217://rig:2001", ETIMEDOUT, "does not answer"},
          std::tuple{"rfc2217://rig:2001", ECONNRESET, "in use by another client"},
          std::tuple{"rfc2217://rig", EINVAL, "rfc2217://HOST:PORT"},
          std::tuple{"/dev/ttyUSB9", ENXIO, "Nothing is plugged in there"}}) {
        const std::string reason = OpenFailureReason(path, error);
        EXPECT_NE(reason.find(words), std::string::npos) << path << ": " << reason;
    }
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
    ASSERT_TRUE(WaitUntil([&] { return !fReports.isEmpty(); }));
    EXPECT_EQ(fReports,
              QStringList{"Porta '/dev/fake' chiusa: cannot start the modem-line watcher."});
    EXPECT_FALSE(form.ComPort.Active());
    EXPECT_FALSE(form.slConnexion->LedOn());
}

TEST_F(Connection, ChoosingCom1WhileConnectedKeepsTheOpenDeviceUntilReconnect)
{
    TPtyPeer com1;
    fForm.ComPort.SetDevicePath(1, com1.DevicePath());
    Connect();
    fForm.ComboBox1->setCurrentIndex(0);
    EXPECT_EQ(fForm.ComPort.Port(), 1);
    EXPECT_TRUE(fForm.ComPort.Active());

    fForm.SpeedButton4->click();
    EXPECT_TRUE(WaitForPeer("4"));

    fForm.Button_Open->click(); // disconnect
    fForm.Button_Open->click(); // connect again, now on COM1
    ASSERT_TRUE(fForm.ComPort.Active());
    fForm.SpeedButton5->click();
    EXPECT_TRUE(WaitUntil([&] { return com1.Received() == "5"; }));
    EXPECT_EQ(fPeer.Received(), "4");

    fForm.ComboBox1->setCurrentIndex(1);
    EXPECT_EQ(fForm.ComPort.Port(), 2);
    fForm.ComboBox1->setEditText("Com"); // typed text selects nothing: the port stays
    EXPECT_EQ(fForm.ComPort.Port(), 2);
}

TEST_F(Connection, ATypedDevicePathOrAListedAdapterIsTheNextConnectsDevice)
{
    QStringList remembered;
    fForm.RememberPort = [&](const QString& path) { remembered << path; };
    TPtyPeer typed;
    fForm.ComboBox1->setEditText(QString::fromStdString(typed.DevicePath()));
    emit fForm.ComboBox1->lineEdit()->returnPressed();
    Connect();
    fForm.Button4->click(); // Init
    EXPECT_TRUE(WaitUntil([&] { return typed.Received() == "\r\n"; }));
    EXPECT_EQ(fPeer.Received(), "");
    EXPECT_EQ(remembered, QStringList{QString::fromStdString(typed.DevicePath())});
    fForm.Button_Open->click(); // disconnect

    // An adapter in the list: shown by what sysfs says, chosen by its stable name.
    const std::filesystem::path root = std::filesystem::path(testing::TempDir()) / "tarvel-sysfs";
    std::filesystem::remove_all(root);
    const auto usb = root / "devices" / "1-1";
    std::filesystem::create_directories(usb / "1-1:1.0" / "ttyUSB3");
    std::ofstream(usb / "idVendor") << "0403\n";
    std::ofstream(usb / "idProduct") << "6001\n";
    std::ofstream(usb / "product") << "FT232R USB UART\n";
    std::filesystem::create_directories(root / "sys" / "ttyUSB3");
    std::filesystem::create_directory_symlink(usb / "1-1:1.0" / "ttyUSB3",
                                              root / "sys" / "ttyUSB3" / "device");
    std::filesystem::create_directories(root / "dev" / "serial" / "by-id");
    std::ofstream(root / "dev" / "ttyUSB3").put('\0');
    std::filesystem::create_symlink(root / "dev" / "ttyUSB3",
                                    root / "dev" / "serial" / "by-id" / "usb-FTDI-port0");
    fForm.Model.RefreshPortList((root / "dev").string(), (root / "sys").string());
    ASSERT_EQ(fForm.ComboBox1->count(), 4); // Com1, Com2, the typed path kept, the adapter
    EXPECT_EQ(fForm.ComboBox1->currentText(), QString::fromStdString(typed.DevicePath()));
    const int adapter = fForm.ComboBox1->findText(QStringLiteral("ttyUSB3 \u2014 FT232R USB UART"));
    ASSERT_GE(adapter, 2);
    fForm.ComboBox1->setCurrentIndex(adapter);
    const std::string byId = (root / "dev" / "serial" / "by-id" / "usb-FTDI-port0").string();
    EXPECT_EQ(fForm.ComPort.DevicePath(fForm.ComPort.Port()), byId);
    EXPECT_EQ(remembered.last(), QString::fromStdString(byId));

    // The same adapter typed by its path: the path is remembered, not what its item shows.
    fForm.ComboBox1->setCurrentIndex(0);
    fForm.ComboBox1->setEditText(QString::fromStdString(byId));
    emit fForm.ComboBox1->lineEdit()->returnPressed();
    EXPECT_EQ(fForm.ComPort.DevicePath(fForm.ComPort.Port()), byId);
    EXPECT_EQ(remembered.last(), QString::fromStdString(byId));
    std::filesystem::remove_all(root);
}

TEST_F(Connection, ALostDeviceIsWaitedForAsleepAndReopenedWhenOneComesBackAtItsName)
{
    // The device behind a link, as /dev/serial/by-id names are: pulled, then another board
    // comes back under the same name.
    const auto folder = std::filesystem::path(testing::TempDir()) /
                        ("tarvel-link-" + std::to_string(QCoreApplication::applicationPid()));
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const auto link = folder / "board";
    auto first = std::make_unique<TPtyPeer>();
    std::filesystem::create_symlink(first->DevicePath(), link);
    fForm.SetReconnectAutomatically(true);
    fForm.ComPort.SetDevicePath(2, link.string());
    Connect();
    first->HangUp();
    std::filesystem::remove(link);
    ASSERT_TRUE(WaitUntil([&] { return fForm.WaitingForDevice(); }));
    EXPECT_FALSE(fForm.slConnexion->LedOn());
    EXPECT_TRUE(fReports.isEmpty()); // a line of its own in the terminal, no box
    EXPECT_TRUE(fForm.reTerminal->Text().contains("si attende che ritorni"));

    // Waiting costs nothing: the kernel tells of arrivals.
    const std::clock_t before = std::clock();
    WaitUntil([] { return false; }, 500);
    EXPECT_LT(double(std::clock() - before) / CLOCKS_PER_SEC, 0.1);

    TPtyPeer second;
    std::filesystem::create_symlink(second.DevicePath(), link);
    ASSERT_TRUE(WaitUntil([&] { return fForm.ComPort.Active(); }));
    EXPECT_TRUE(fForm.slConnexion->LedOn());
    EXPECT_FALSE(fForm.WaitingForDevice());
    EXPECT_TRUE(fForm.reTerminal->Text().contains("ricollegato"));
    fForm.Button4->click(); // Init reaches the new board
    EXPECT_TRUE(WaitUntil([&] { return second.Received() == "\r\n"; }));
    EXPECT_TRUE(fReports.isEmpty());
    std::filesystem::remove_all(folder);
}

TEST_F(Connection, SaveLogWritesTheBytesReceivedSinceTheLastClearExactly)
{
    Connect();
    const std::string first = "before clear\r\n";
    fPeer.Send(first);
    const TByteStore& received = fForm.reTerminal->ReceivedBytes();
    ASSERT_TRUE(WaitUntil([&] { return received.Read(0, received.Size()) == first; }));
    fForm.Button3->click(); // Pulisci Log
    EXPECT_EQ(received.Size(), 0u);

    const char raw[] = "spin |\b/\b-\r\nA\x80\xff\x00\x1b[0m\rB\n"; // with a NUL inside
    const std::string bytes(raw, sizeof raw - 1);
    fPeer.Send(bytes.substr(0, 9));
    fPeer.Send(bytes.substr(9));
    ASSERT_TRUE(WaitUntil([&] { return received.Size() == bytes.size(); }));
    EXPECT_EQ(fForm.reTerminal->LineText(0), "spin -");           // the spinner turned in place
    fForm.reTerminal->ReplaceText(QStringLiteral("Send file\n")); // the transfer's text keeps them
    const auto path = std::filesystem::path(testing::TempDir()) / "tarvel-saved.log";
    fForm.reTerminal->SaveLog(QString::fromStdString(path.string()));
    std::ifstream saved(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(saved), {}), bytes);
    EXPECT_TRUE(fReports.isEmpty());
    std::filesystem::remove(path);

    TErrorReport::Guard(
        [&] { fForm.reTerminal->SaveLog(QStringLiteral("/nonexistent-folder/tarvel.log")); });
    ASSERT_EQ(fReports.size(), 1);
    EXPECT_TRUE(fReports[0].startsWith("Cannot write /nonexistent-folder/tarvel.log: "));
}

TEST_F(Connection, ClosingTheWindowReleasesTheDevice)
{
    Connect();
    fForm.show();
    EXPECT_TRUE(fForm.close());
    EXPECT_FALSE(fForm.ComPort.Active());

    // Another program (here a second port object) can now take the device.
    TQtMainThreadExecutor executor;
    TQorComPort other(executor);
    other.SetDevicePath(2, fPeer.DevicePath());
    other.SetPort(2);
    EXPECT_NO_THROW(other.SetActive(true));
    EXPECT_TRUE(other.Active());
}

TEST_F(Connection, ClosingIsRefusedWhileFlashing)
{
    fForm.show();
    fForm.FlashInProgress = true;
    EXPECT_FALSE(fForm.close());
    EXPECT_TRUE(fForm.isVisible());
    fForm.Button5->click();
    EXPECT_TRUE(fForm.isVisible());
    EXPECT_EQ(fWarnings, (QStringList{"Flash in corso, impossibile fermare. !!!",
                                      "Flash in corso, impossibile fermare. !!!"}));

    fForm.Button2->click(); // Stop Flash
    EXPECT_FALSE(fForm.FlashInProgress);
    fForm.Button5->click();
    EXPECT_FALSE(fForm.isVisible());
    EXPECT_EQ(fWarnings.size(), 2);
}

TEST_F(Connection, PulledDeviceShowsTheDisconnectedStateAndTellsTheOperator)
{
    Connect();
    fForm.Armed = true;
    fPeer.Send("hello\r\n");
    ASSERT_TRUE(WaitForTerminal("hello"));

    fPeer.HangUp();
    ASSERT_TRUE(WaitUntil([&] { return !fReports.isEmpty(); }));
    EXPECT_FALSE(fForm.ComPort.Active());
    EXPECT_FALSE(fForm.slConnexion->LedOn());
    EXPECT_FALSE(fForm.Button4->isEnabled());
    EXPECT_FALSE(fForm.Button1->isEnabled());
    EXPECT_FALSE(fForm.Armed);
    ASSERT_EQ(fReports.size(), 1);
    EXPECT_TRUE(fReports[0].contains(QString::fromStdString(fForm.ComPort.DevicePath(2))))
        << fReports[0].toStdString();

    // Sending now fails as on any closed port; connecting again is possible once it is back.
    fForm.SpeedButton1->click();
    EXPECT_EQ(fReports.last(), "Port not open.");
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
