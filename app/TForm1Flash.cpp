// The window's side of the boot-loader session: the Flash and Stop Flash buttons, the wait that
// keeps the window alive while the transfer runs, and the controls the session reports to.
#include "app/TForm1.h"

#include "app/EventLoopDelay.h"
#include "app/TForm1SessionBinding.h"
#include "session/MillisecondTick.h"

#include <QFile>

TForm1::~TForm1()
{
    // The port closes before the controls its handlers touch go away.
    ComPort.SetOnDataAvailable(nullptr);
    ComPort.SetOnError(nullptr);
    try {
        ComPort.SetActive(false);
    } catch (const std::exception&) {
        // Nothing useful can be done about a failing close while the window goes away.
    }
}

void TForm1::Delay(uint32_t ms)
{
    ProcessEventsFor(ms, MillisecondTick);
}

void TForm1::Button1Click(QObject* /*Sender*/)
{
    if (TransferRunning) return; // the session ignores it too; the window must not close below
    try {
        Session.Flash([this]() -> std::optional<std::string> {
            const std::optional<QString> chosen = ChooseFirmwareFile();
            if (!chosen) return std::nullopt;
            return QFile::encodeName(*chosen).toStdString();
        });
    } catch (const std::exception&) {
        // A window that is closing reports nothing; the port it kept open for the transfer
        // closes now.
        if (!WindowClosing) throw;
    }
    if (WindowClosing) CloseForClosingWindow();
}

void TForm1::Button2Click(QObject* /*Sender*/)
{
    Session.Stop();
}

void TForm1::ComPortDataAvailableTransfer(const std::string& S)
{
    Session.ReceiveDuringTransfer(S);
}
