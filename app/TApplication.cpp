#include "app/TApplication.h"

#include "app/TErrorReport.h"

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName("tarvel");
    setApplicationDisplayName("Tarvel");
    setApplicationVersion(TARVEL_VERSION);
}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        TErrorReport::Show(error.what());
    } catch (...) {
        TErrorReport::Show("Unexpected error");
    }
    return true;
}
