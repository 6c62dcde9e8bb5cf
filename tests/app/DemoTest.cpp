// The demo: the window on the built-in simulated device, answering its prompts by itself.
#include "app/ProgramSetup.h"
#include "app/TErrorReport.h"
#include "app/TForm1.h"
#include "sim/TSimulatedDevice.h"
#include "tests/app/EventLoopWait.h"
#include "tests/app/PtyPeer.h"

#include <QPushButton>
#include <gtest/gtest.h>

namespace {

TEST(Demo, PointsBothPortsAtTheSimulatedDevice)
{
    TCommandLineOptions options;
    options.Demo = true;
    const std::map<int, std::string> expected{{1, "/dev/pts/9"}, {2, "/dev/pts/9"}};
    EXPECT_EQ(PortDevicePaths(options, "/dev/pts/9"), expected);

    TCommandLineOptions plain;
    plain.DevicePaths = {{2, "/dev/ttyUSB0"}};
    EXPECT_EQ(PortDevicePaths(plain, "/dev/pts/9"), plain.DevicePaths);
}

TEST(Demo, ConnectsAndTheAutomaticAnswersReachTheDevice)
{
    QStringList reports;
    const auto previous = TErrorReport::SetSink([&](const QString& t) { reports << t; });
    TSimulatedDeviceOptions deviceOptions;
    deviceOptions.Baudrate = 0;
    TSimulatedDevice device(deviceOptions);
    TCommandLineOptions options;
    options.Demo = true;
    {
        TForm1 form;
        ApplyPortDevicePaths(form, PortDevicePaths(options, device.DevicePath()));
        form.show();
        form.Button_Open->click();
        ASSERT_TRUE(form.ComPort.Active()) << reports.join("|").toStdString();
        form.Button1->setEnabled(false);

        form.Button4->click(); // Init: the device answers with its menu
        // Its password prompt comes only after "2", its "Send" only after "qxvt".
        EXPECT_TRUE(WaitUntil([&] { return form.Button1->isEnabled(); }))
            << form.reTerminal->Text().toStdString();
        EXPECT_TRUE(WaitUntil([&] { return form.reTerminal->Text().contains("loads3"); }));
        EXPECT_TRUE(form.Armed);
    }
    TErrorReport::SetSink(previous);
    EXPECT_TRUE(reports.isEmpty()) << reports.join("|").toStdString();
}

} // namespace
