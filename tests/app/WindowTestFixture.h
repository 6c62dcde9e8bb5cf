#pragma once
// A window whose COM2 is a pseudo-terminal peer, with error reports captured instead of shown.

#include "app/TErrorReport.h"
#include "app/TForm1.h"
#include "tests/app/PtyPeer.h"

#include <QPushButton>
#include <gtest/gtest.h>

class WindowWithPeer : public testing::Test
{
protected:
    void SetUp() override
    {
        PreviousSink = TErrorReport::SetSink([this](const QString& text) { Reports << text; });
        Form.ShowWarning = [this](const QString& text) { Warnings << text; };
        Form.ComPort.SetDevicePath(2, Peer.DevicePath());
    }
    void TearDown() override { TErrorReport::SetSink(PreviousSink); }

    void Connect()
    {
        Form.Button_Open->click();
        ASSERT_TRUE(Form.ComPort.Active()) << Reports.join("|").toStdString();
    }
    // Waits until the window has received and shown text (the receive handler then ran).
    bool WaitForTerminal(const QString& text)
    {
        return WaitUntil([&] { return Form.reTerminal->toPlainText().contains(text); });
    }
    // Waits until the peer has received exactly expected.
    bool WaitForPeer(const std::string& expected)
    {
        WaitUntil([&] { return Peer.Received().size() >= expected.size(); });
        return Peer.Received() == expected;
    }

    TPtyPeer Peer;
    TForm1 Form;
    QStringList Reports;
    QStringList Warnings;
    TErrorReport::TSink PreviousSink;
};
