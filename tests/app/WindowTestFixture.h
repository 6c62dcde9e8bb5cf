#pragma once
// A window whose COM2 is a pseudo-terminal peer, with error reports captured instead of shown.

#include "app/TErrorReport.h"
#include "app/TForm1.h"
#include "tests/app/EventLoopWait.h"
#include "tests/app/PtyPeer.h"

#include <QPushButton>
#include <gtest/gtest.h>

class WindowWithPeer : public testing::Test
{
protected:
    void SetUp() override
    {
        fPreviousSink = TErrorReport::SetSink([this](const QString& text) { fReports << text; });
        fForm.ShowWarning = [this](const QString& text) { fWarnings << text; };
        fForm.ComPort.SetDevicePath(2, fPeer.DevicePath());
    }
    void TearDown() override { TErrorReport::SetSink(fPreviousSink); }

    void Connect()
    {
        fForm.Button_Open->click();
        ASSERT_TRUE(fForm.ComPort.Active()) << fReports.join("|").toStdString();
    }
    // Waits until the window has received and shown text (the receive handler then ran).
    bool WaitForTerminal(const QString& text)
    {
        return WaitUntil([&] { return fForm.reTerminal->Text().contains(text); });
    }
    // Waits until the peer has received exactly expected.
    bool WaitForPeer(const std::string& expected)
    {
        WaitUntil([&] { return fPeer.Received().size() >= expected.size(); });
        return fPeer.Received() == expected;
    }

    TPtyPeer fPeer;
    TForm1 fForm;
    QStringList fReports;
    QStringList fWarnings;
    TErrorReport::TSink fPreviousSink;
};
