#include "window/ErrorBoxText.h"
#include "app/TErrorReport.h"
#include "tests/app/ErrorReportCapture.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

#include <stdexcept>

namespace {

TEST(ErrorBoxText, FullStopOnlyAfterCharactersAboveIt)
{
    EXPECT_EQ(ErrorBoxText("Port not open"), "Port not open.");
    EXPECT_EQ(ErrorBoxText("Cannot open port '/dev/ttyS1'"), "Cannot open port '/dev/ttyS1'");
    EXPECT_EQ(ErrorBoxText("Already a sentence."), "Already a sentence.");
    EXPECT_EQ(ErrorBoxText("ends in a dash -"), "ends in a dash -");    // '-' sorts below '.'
    EXPECT_EQ(ErrorBoxText("ends in a slash /"), "ends in a slash /."); // '/' sorts above '.'
    EXPECT_EQ(ErrorBoxText("code 7"), "code 7.");
    EXPECT_EQ(ErrorBoxText("Flash!"), "Flash!");
    EXPECT_EQ(ErrorBoxText(""), "");
    EXPECT_EQ(ErrorBoxText("fermé"), "fermé."); // a byte above 0x7F is above '.', not negative
    EXPECT_EQ(ErrorBoxText("Port not open\nwhy"), "Port not open.\nwhy"); // the first line's
}

class ErrorReportSink : public ErrorReportCapture
{
};

TEST_F(ErrorReportSink, GuardReportsAndStopsTheHandlerAtTheFailingStep)
{
    int stepsDone = 0;
    TErrorReport::Guard([&] {
        ++stepsDone;
        throw std::runtime_error("Port not open");
        ++stepsDone; // never reached
    });
    EXPECT_EQ(stepsDone, 1);
    EXPECT_EQ(fReports, QStringList{"Port not open."});
}

TEST_F(ErrorReportSink, GuardLetsASucceedingHandlerRunQuietly)
{
    bool ran = false;
    TErrorReport::Guard([&] { ran = true; });
    EXPECT_TRUE(ran);
    EXPECT_TRUE(fReports.isEmpty());
}

TEST_F(ErrorReportSink, SetSinkReturnsTheSinkItReplaces)
{
    QStringList other;
    TErrorReport::TSink mine = TErrorReport::SetSink([&](const QString& t) { other << t; });
    TErrorReport::Show("x");
    TErrorReport::SetSink(mine);
    TErrorReport::Show("y");
    EXPECT_EQ(other, QStringList{"x."});
    EXPECT_EQ(fReports, QStringList{"y."});
}

TEST(ErrorReportBox, IsAModalTarvelBoxWithErrorIconAndOneOkButton)
{
    const TErrorReport::TSink previous = TErrorReport::SetSink({});

    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttonCount = -1;
    bool wasModal = false;
    QTimer inspector;
    inspector.setInterval(20);
    QObject::connect(&inspector, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) return;
        inspector.stop();
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        buttonCount = static_cast<int>(box->buttons().size());
        wasModal = box->isModal();
        box->button(QMessageBox::Ok)->click();
    });
    inspector.start();
    TErrorReport::Show("Port not open"); // returns once the box is dismissed
    TErrorReport::SetSink(previous);

    EXPECT_EQ(title, "Tarvel");
    EXPECT_EQ(text, "Port not open.");
    EXPECT_EQ(icon, QMessageBox::Critical);
    EXPECT_EQ(buttonCount, 1);
    EXPECT_TRUE(wasModal);
}

} // namespace
