// Firmware transfer: a minimal version until the full workflow lands.
#include "app/TForm1.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>

void TForm1::Button1Click(QObject* /*Sender*/)
{
    // The transfer itself is not built yet.
}

void TForm1::Button2Click(QObject* /*Sender*/)
{
    StopRequested = true;
    FlashInProgress = false;
    Armed = false;
    Panel1->setText(QStringLiteral("Flash interrotto...."));
}

void TForm1::Delay(uint32_t ms)
{
    QElapsedTimer timer;
    timer.start();
    do {
        QCoreApplication::processEvents(QEventLoop::AllEvents, static_cast<int>(ms));
    } while (timer.elapsed() < static_cast<qint64>(ms));
}

void TForm1::ComPortDataAvailableTransfer(const std::string& /*S*/)
{
    WindowCount = 0;
}
