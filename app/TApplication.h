#pragma once
#include <QApplication>

// The application object: titled "Tarvel", and the last line of the error report for anything a
// handler lets escape into the event dispatch (also from inside modal dialogs and nested waits).
class TApplication : public QApplication
{
    Q_OBJECT
public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};
