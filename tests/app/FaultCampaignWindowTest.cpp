// The window against simulated devices with one random fault each, as an operator uses it:
// connect, Init, Flash, and Stop when the transfer stands still. What the window then says
// must be true of the device: "Flash in corso ......" left standing only for a board that
// holds the whole image. TARVEL_CAMPAIGN_SEED and TARVEL_CAMPAIGN_SESSIONS replay or run more.
#include "app/TErrorReport.h"
#include "app/TForm1.h"
#include "tests/app/FlashTempDir.h"
#include "tests/app/FlashTestSupport.h"
#include "tests/support/TFaultCampaign.h"

#include <QDeadlineTimer>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <iostream>

namespace {

// Processes events until the device has been quiet for a moment, at most limitMs.
void Settle(const TForm1& form, int limitMs)
{
    const QDeadlineTimer limit(limitMs);
    for (qsizetype shown = -1; !limit.hasExpired() && form.reTerminal->Text().size() != shown;) {
        shown = form.reTerminal->Text().size();
        QDeadlineTimer quiet(300);
        FlashWaitUntil([&] { return quiet.hasExpired(); });
    }
}

TSessionResult FlashThroughTheWindow(const TCampaignSession& session, TSimulatedDevice& device)
{
    QStringList reports;
    const TErrorReport::TSink previous =
        TErrorReport::SetSink([&](const QString& text) { reports << text; });
    TForm1 form;
    form.ShowWarning = [](const QString&) {};
    form.ComPort.SetDevicePath(2, device.DevicePath());
    form.Model.Button_OpenClick();
    form.Model.Button4Click();
    TSessionResult result;
    // The responder answers the menu and the password; the device's "Send" says it is ready.
    if (!FlashWaitUntil([&] { return form.reTerminal->Text().contains(QStringLiteral("Send")); },
                        10000)) {
        TErrorReport::SetSink(previous);
        return {TOutcome::Other, "the device's \"Send\" never came"};
    }

    // The operator stops a transfer whose line count has not moved for three seconds; past a
    // minute the session counts as hung.
    QTimer operatorLooks;
    std::int32_t lastCount = -1;
    int stillLooks = 0;
    bool hung = false;
    const QDeadlineTimer hangLimit(60000);
    QObject::connect(&operatorLooks, &QTimer::timeout, [&] {
        if (!form.FlashInProgress) return;
        stillLooks = form.LineCount == lastCount ? stillLooks + 1 : 0;
        lastCount = form.LineCount;
        if (hangLimit.hasExpired()) hung = true;
        if (stillLooks == 6 || hung) form.Model.Button2Click();
    });
    operatorLooks.start(500);
    form.ChooseFirmwareFile = [&] {
        return std::optional<QString>(QString::fromStdString(session.File));
    };
    TErrorReport::Guard([&] { form.Model.Button1Click(); });
    operatorLooks.stop();
    // The device's answer to the last lines, or its going away, comes a moment later.
    Settle(form, 1500);
    const QString status = form.Panel1->text();
    if (form.ComPort.Active()) form.Model.Button_OpenClick();
    TErrorReport::SetSink(previous);

    result.Said = status.toStdString();
    if (!reports.isEmpty()) result.Said += " / " + reports.join(" | ").toStdString();
    if (hung)
        result.Outcome = TOutcome::Hung;
    else if (reports.join(' ').contains(QStringLiteral("scollegato")) ||
             status == QStringLiteral("Flash interrotto: dispositivo scollegato"))
        result.Outcome = TOutcome::DeviceLost;
    else if (!reports.isEmpty())
        result.Outcome = TOutcome::Other;
    else if (status == QStringLiteral("Flash in corso ......"))
        result.Outcome = TOutcome::Flashed;
    else if (status == QStringLiteral("Flash interrotto: il dispositivo si è riavviato"))
        result.Outcome = TOutcome::Restarted;
    else if (status == QStringLiteral("Erreur Transfert ..... flash interrotto..."))
        result.Outcome = TOutcome::Refused;
    else if (status == QStringLiteral("Flash interrotto...."))
        result.Outcome = TOutcome::Stopped;
    return result;
}

TEST(FaultCampaign, TheWindowNeverLeavesABoardThatIsNotFlashedLookingFlashed)
{
    FlashTempDir dir;
    const TFaultCampaign campaign(dir.Path(""));
    TCampaignOptions options = TCampaignOptions::FromEnvironment(5001, 30);
    options.Parallel = 1; // one window, on this thread
    options.OperatorStopsSilence = true;
    const TCampaignTally tally = campaign.Run(options, FlashThroughTheWindow);
    std::cout << tally.Table();
    EXPECT_EQ(tally.Sessions(), options.Sessions);
    EXPECT_EQ(tally.Failed(), 0) << tally.Table();
}

} // namespace
