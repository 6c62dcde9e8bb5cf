#include "sim/DevSimCommandLine.h"

#include <charconv>
#include <stdexcept>

int ParseCount(std::string_view option, std::string_view text)
{
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < 0)
        throw std::invalid_argument("invalid value '" + std::string(text) + "' for " +
                                    std::string(option));
    return value;
}

TDevSimCommandLine ParseDevSimCommandLine(std::span<const std::string_view> arguments)
{
    TDevSimCommandLine result;
    TSimulatedDeviceOptions& device = result.Device;
    std::optional<std::uint32_t> faultSeed;
    int faultRecords = 100;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string_view option = arguments[i];
        std::string_view value;
        bool hasValue = false;
        if (const auto equals = option.find('=');
            option.starts_with("--") && equals != option.npos) {
            value = option.substr(equals + 1);
            option = option.substr(0, equals);
            hasValue = true;
        }
        if (option == "--help" || option == "-h") {
            result.ShowHelp = true;
            continue;
        }
        const auto takeValue = [&]() -> std::string_view {
            if (hasValue) return value;
            if (i + 1 >= arguments.size())
                throw std::invalid_argument("missing value for " + std::string(option));
            return arguments[++i];
        };
        if (option == "--baud") {
            const std::string_view text = takeValue();
            device.Baudrate = text == "off" ? 0 : ParseCount(option, text);
        } else if (option == "--reply-delay-ms") {
            device.ReplyDelay = std::chrono::milliseconds(ParseCount(option, takeValue()));
        } else if (option == "--answer-every") {
            device.AnswerEvery = ParseCount(option, takeValue());
        } else if (option == "--progress-every") {
            device.ProgressEvery = ParseCount(option, takeValue());
        } else if (option == "--erreur-at") {
            device.ErreurAtRecord = ParseCount(option, takeValue());
        } else if (option == "--silence-from") {
            device.SilenceFromRecord = ParseCount(option, takeValue());
        } else if (option == "--restart-at") {
            device.RestartAtRecord = ParseCount(option, takeValue());
        } else if (option == "--hangup-at") {
            device.HangUpAtRecord = ParseCount(option, takeValue());
        } else if (option == "--random-fault") {
            faultSeed = static_cast<std::uint32_t>(ParseCount(option, takeValue()));
        } else if (option == "--fault-records") {
            faultRecords = ParseCount(option, takeValue());
            if (faultRecords < 1) throw std::invalid_argument("--fault-records is at least 1");
        } else if (option == "--dump-image") {
            result.DumpImagePath = std::string(takeValue());
            if (result.DumpImagePath.empty())
                throw std::invalid_argument("missing value for --dump-image");
        } else {
            throw std::invalid_argument("unknown option '" + std::string(arguments[i]) + "'");
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
