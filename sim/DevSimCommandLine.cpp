#include "sim/DevSimCommandLine.h"

#include <algorithm>
#include <array>
#include <utility>

namespace {

// The options that set a whole number of the device's.
constexpr std::array<std::pair<std::string_view, int TSimulatedDeviceOptions::*>, 6> CountOptions{{
    {"--answer-every", &TSimulatedDeviceOptions::AnswerEvery},
    {"--progress-every", &TSimulatedDeviceOptions::ProgressEvery},
    {"--erreur-at", &TSimulatedDeviceOptions::ErreurAtRecord},
    {"--silence-from", &TSimulatedDeviceOptions::SilenceFromRecord},
    {"--restart-at", &TSimulatedDeviceOptions::RestartAtRecord},
    {"--hangup-at", &TSimulatedDeviceOptions::HangUpAtRecord},
}};

} // namespace

TDevSimCommandLine ParseDevSimCommandLine(std::span<const std::string_view> arguments)
{
    TDevSimCommandLine result;
    TSimulatedDeviceOptions& device = result.Device;
    std::optional<std::uint32_t> faultSeed;
    int faultRecords = 100;
    TOptionReader reader(arguments);
    while (reader.Next()) {
        const std::string_view option = reader.Name();
        const auto count = std::find_if(CountOptions.begin(), CountOptions.end(),
                                        [&](const auto& entry) { return entry.first == option; });
        if (count != CountOptions.end()) {
            device.*(count->second) = reader.Number();
        } else if (option == "--help" || option == "-h") {
            result.ShowHelp = true;
        } else if (option == "--baud") {
            const std::string_view speed = reader.Value();
            device.Baudrate = speed == "off" ? 0 : reader.ToNumber(speed);
        } else if (option == "--reply-delay-ms") {
            device.ReplyDelay = std::chrono::milliseconds(reader.Number());
        } else if (option == "--random-fault") {
            faultSeed = static_cast<std::uint32_t>(reader.Number());
        } else if (option == "--fault-records") {
            faultRecords = reader.Number(1);
        } else if (option == "--dump-image") {
            result.DumpImagePath = std::string(reader.Value());
        } else {
            reader.Reject();
        }
    }
    if (faultSeed) {
        result.RandomFault = PlanFault(*faultSeed, faultRecords);
        ApplyFault(*result.RandomFault, device);
    }
    return result;
}

std::string DevSimUsage()
{
    return "Usage: tarvel-devsim [options]\n"
           "Serves a simulated boot loader on a pseudo-terminal and prints the device path\n"
           "to open (e.g. tarvel --com2 <path>). Stops on Ctrl-C.\n"
           "\n"
           "  --baud N|off          emulated line speed, 10 bits a character (default 115200)\n"
           "  --reply-delay-ms N    wait N ms before each answer (default 0)\n"
           "  --answer-every N      spinner answer after every N-th record, 0 = none (default 1)\n"
           "  --progress-every N    progress line after every N-th record, 0 = none (default 16)\n"
           "  --erreur-at K         answer the K-th record with ERREUR\n"
           "  --silence-from K      say nothing more from the K-th record on\n"
           "  --hangup-at K         hang up (close the line) at the K-th record\n"
           "  --restart-at K        restart at the K-th record: banner and menu again, the rest\n"
           "                        taken as menu input\n"
           "  --random-fault SEED   one fault drawn from SEED: stray bytes, slow or long answers,\n"
           "                        restart, refusal, silence or hang-up (told on stderr)\n"
           "  --fault-records N     records the fault is drawn among (default 100)\n"
           "  --dump-image FILE     write the loaded image as S-records after each load and at "
           "exit\n"
           "  --help                show this text\n"
           "Records are counted from the start of the simulator.\n";
}
