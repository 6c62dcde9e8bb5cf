#include "app/TApplication.h"

#include "app/TErrorReport.h"

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    // No display name: on X11 Qt would append it to every window title, and the main window's
    // caption must read exactly as laid out.
    setApplicationName("tarvel");
    setApplicationVersion(TARVEL_VERSION);
}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        TErrorReport::Show(error.what());
    } catch (...) { // not a std::exception, yet the event loop must go on: said as it is
        TErrorReport::Show("Unexpected error");
    }
    return true;
}
