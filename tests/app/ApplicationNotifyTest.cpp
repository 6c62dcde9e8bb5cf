// The application object reports exceptions that escape event handlers, wherever the event loop
// runs them.
#include "app/TApplication.h"
#include "app/TErrorReport.h"
#include "tests/app/ErrorReportCapture.h"

#include <QDialog>
#include <QEvent>
#include <QTimer>
#include <gtest/gtest.h>

#include <stdexcept>

namespace {

const QEvent::Type FailingEvent = static_cast<QEvent::Type>(QEvent::User + 17);

class TFailingReceiver : public QObject
{
public:
    int Handled = 0;
    bool event(QEvent* e) override
    {
        if (e->type() == FailingEvent) {
            ++Handled;
            throw std::runtime_error("Port not open");
        }
        return QObject::event(e);
    }
};

class ApplicationNotify : public ErrorReportCapture
{
};

TEST_F(ApplicationNotify, SetsNoDisplayNameThatWouldEndUpInWindowTitles)
{
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
}

TEST_F(ApplicationNotify, ReportsAnExceptionFromAPostedEvent)
{
    TFailingReceiver receiver;
    QCoreApplication::postEvent(&receiver, new QEvent(FailingEvent));
    QCoreApplication::postEvent(&receiver, new QEvent(FailingEvent));
    QCoreApplication::processEvents();
    EXPECT_EQ(receiver.Handled, 2); // the first failure does not stop the second event
    EXPECT_EQ(fReports, (QStringList{"Port not open.", "Port not open."}));
}

TEST_F(ApplicationNotify, ReportsAnExceptionRaisedInsideAModalDialog)
{
    TFailingReceiver receiver;
    QDialog dialog;
    bool dialogRanAfterFailure = false;
    QTimer::singleShot(0, &dialog, [&] {
        QCoreApplication::postEvent(&receiver, new QEvent(FailingEvent));
        QTimer::singleShot(0, &dialog, [&] {
            dialogRanAfterFailure = true;
            dialog.accept();
        });
    });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_TRUE(dialogRanAfterFailure);
    EXPECT_EQ(fReports, QStringList{"Port not open."});
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    testing::InitGoogleTest(&argc, argv);
    TApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
