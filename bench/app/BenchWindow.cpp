#include "bench/app/BenchWindow.h"

#include <QPushButton>

TOffscreenByDefault::TOffscreenByDefault()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
}

TBenchWindow::TBenchWindow(int& argc, char** argv) : App(argc, argv) {}

bool TBenchWindow::ShowConnected()
{
    Form.show();
    Form.ComPort.SetDevicePath(2, Device.Path);
    Form.Button_Open->click();
    return Form.ComPort.Active();
}
