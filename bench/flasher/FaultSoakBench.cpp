// A soak of the fault campaign: tarvel-flash against simulated devices at 115200 baud, each with
// one random fault (stray bytes, slow or long answers, restart, refusal, silence, hang-up),
// judged session by session; the tally per fault is printed, with the seed of any failing
// session so that it can be run again alone (--seed N --sessions 1).
//
// Usage: tarvel_bench_fault_soak [--sessions N] [--seed FIRST] [--parallel P] [--timeout S]
#include "tests/support/TFaultCampaign.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>
#include <unistd.h>

int main(int argc, char** argv)
{
    TCampaignOptions options;
    options.Sessions = 10000;
    options.Parallel = 8;
    int timeout = 2;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string_view name = argv[i];
        const long value = std::strtol(argv[i + 1], nullptr, 10);
        if (name == "--sessions")
            options.Sessions = static_cast<int>(value);
        else if (name == "--seed")
            options.FirstSeed = static_cast<std::uint32_t>(value);
        else if (name == "--parallel")
            options.Parallel = static_cast<int>(value);
        else if (name == "--timeout")
            timeout = static_cast<int>(value);
        else {
            std::cerr << "usage: " << argv[0]
                      << " [--sessions N] [--seed FIRST] [--parallel P] [--timeout S]\n";
            return 2;
        }
    }
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe");
    const std::string flash = (self.parent_path() / "tarvel-flash").string();
    const std::filesystem::path work =
        std::filesystem::temp_directory_path() / ("tarvel-soak-" + std::to_string(::getpid()));
    std::filesystem::create_directories(work);

    const TFaultCampaign campaign(work);
    const TCampaignTally tally = campaign.Run(options, [&](const TCampaignSession& session,
                                                           TSimulatedDevice& device) {
        return RunFlashProcess(flash, session, device.DevicePath(), std::chrono::seconds(timeout));
    });
    std::filesystem::remove_all(work);
    std::printf("tarvel-flash fault soak: %d sessions from seed %u, %d at a time, %d s time-out\n",
                options.Sessions, options.FirstSeed, options.Parallel, timeout);
    std::fputs(tally.Table().c_str(), stdout);
    return tally.Failed() == 0 ? 0 : 1;
}
