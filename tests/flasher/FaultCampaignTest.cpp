// tarvel-flash against hundreds of simulated devices, each with one random fault: it flashes
// the image exactly and says so, or says the failure the fault calls for. TARVEL_CAMPAIGN_SEED
// and TARVEL_CAMPAIGN_SESSIONS replay one failing session (its seed is printed) or run more.
#include "tests/app/FlashTempDir.h"
#include "tests/support/TFaultCampaign.h"

#include <gtest/gtest.h>

#include <iostream>

namespace {

TEST(FaultCampaign, TarvelFlashNeverCallsABoardFlashedThatIsNotNorHangs)
{
    FlashTempDir dir;
    const TFaultCampaign campaign(dir.Path(""));
    TCampaignOptions options = TCampaignOptions::FromEnvironment(1, 300);
    options.Parallel = 8;
    const TCampaignTally tally = campaign.Run(options, [](const TCampaignSession& session,
                                                          TSimulatedDevice& device) {
        return RunFlashProcess(TARVEL_FLASH, session, device.DevicePath(), std::chrono::seconds(2));
    });
    std::cout << tally.Table();
    EXPECT_EQ(tally.Sessions(), options.Sessions);
    EXPECT_EQ(tally.Failed(), 0) << tally.Table();
}

} // namespace
