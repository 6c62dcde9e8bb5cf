// Takes the README's picture of the window: connected to the simulated boot loader, answered its
// prompts, and part-way through flashing a 64 KiB image. Run under a real X server
// (scripts/screenshot.sh) so fonts and styles are the desktop's.
#include "app/TForm1.h"
#include "sim/SRecordGenerator.h"
#include "sim/TSimulatedDevice.h"
#include "widgets/TGauge.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>

namespace {

// Runs the event loop until done() holds; false after the time-out.
bool RunUntil(const std::function<bool()>& done, int timeoutMs = 20000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: tarvel-screenshot OUTPUT.png\n";
        return 2;
    }
    const QString output = QString::fromLocal8Bit(argv[1]);
    QApplication app(argc, argv);
    TSimulatedDevice device; // at 115200 baud, so the transfer takes long enough to be seen
    const std::filesystem::path file =
        std::filesystem::temp_directory_path() / "tarvel-screenshot.s19";
    std::ofstream(file, std::ios::binary) << GenerateSRecordFile(GenerateFirmwareBytes(64 * 1024),
                                                                 0x08000000);

    TForm1 form;
    form.ComPort.SetDevicePath(2, device.DevicePath());
    form.ChooseFirmwareFile = [&] { return QString::fromStdString(file.string()); };
    form.show();
    form.Button_Open->click();
    form.Button4->click(); // Init: menu, password and "Send" are answered by the window
    if (!RunUntil([&] { return form.Button1->isEnabled() && form.Armed; })) {
        std::cerr << "tarvel-screenshot: the simulated device did not get ready\n";
        return 1;
    }
    bool saved = false;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        if (saved || form.ProgressBar1->Progress() < 40) return;
        saved = form.grab().save(output);
        form.Button2->click(); // Stop Flash: the picture is taken
    });
    look.start(20);
    form.Button1->click(); // Flash; returns when the transfer has ended
    std::filesystem::remove(file);
    if (!saved) std::cerr << "tarvel-screenshot: could not save " << argv[1] << '\n';
    return saved ? 0 : 1;
}
