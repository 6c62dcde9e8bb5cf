#pragma once

#include "app/TErrorReport.h"
#include "app/TForm1.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QPushButton>
#include <QTimer>

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

// Processes events until done() holds; false if it did not within the limit, which only
// guards against hangs.
inline bool FlashWaitUntil(const std::function<bool()>& done, int limitMs = 30000)
{
    const QDeadlineTimer deadline(limitMs);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QTimer wake;
        wake.setSingleShot(true);
        wake.start(50);
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// Runs a transfer of the file at path the way a click on Button1 does, errors going to the central
// report. A transfer that never ends is stopped (against hangs only); returns whether that was
// needed.
inline bool FlashRunStoppedByWatchdog(TForm1& form, const std::string& path)
{
    form.ChooseFirmwareFile = [path] {
        return std::optional<QString>(QString::fromStdString(path));
    };
    bool watchdogFired = false;
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        watchdogFired = true;
        form.Model.Button2Click();
    });
    watchdog.start(60000);
    TErrorReport::Guard([&form] { form.Model.Button1Click(); });
    return watchdogFired;
}
