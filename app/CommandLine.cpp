#include "app/CommandLine.h"

#include <array>

namespace {

struct TPortOption
{
    std::string_view Name;
    int Port;
};

constexpr std::array<TPortOption, 2> PortOptions{{{"--com1", 1}, {"--com2", 2}}};

void SetDevicePath(TCommandLineOptions& options, std::string_view option, int port,
                   std::string value)
{
    if (value.empty())
        throw ECommandLine("Option '" + std::string(option) + "' needs a device path");
    options.DevicePaths[port] = std::move(value);
}

} // namespace

TCommandLineOptions ParseCommandLine(std::span<const std::string> args)
{
    TCommandLineOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        bool matched = false;
        for (const TPortOption& portOption : PortOptions) {
            if (arg == portOption.Name) {
                if (i + 1 >= args.size())
                    throw ECommandLine("Option '" + arg + "' needs a device path");
                SetDevicePath(options, arg, portOption.Port, args[++i]);
                matched = true;
                break;
            }
            const std::string prefix = std::string(portOption.Name) + "=";
            if (arg.starts_with(prefix)) {
                SetDevicePath(options, portOption.Name, portOption.Port, arg.substr(prefix.size()));
                matched = true;
                break;
            }
        }
        if (matched) continue;
        if (arg == "--list-ports")
            options.ListPorts = true;
        else if (arg == "--demo")
            options.Demo = true;
        else if (arg == "--help" || arg == "-h")
            options.Help = true;
        else if (arg == "--version")
            options.Version = true;
        else if (arg.starts_with("-"))
            throw ECommandLine("Unknown option '" + arg + "'");
        else
            throw ECommandLine("Unexpected argument '" + arg + "'");
    }
    // The demo device replaces both ports; a device given as well would be silently ignored.
    if (options.Demo && !options.DevicePaths.empty())
        throw ECommandLine("Option '--demo' cannot be combined with '--com1' or '--com2'");
    return options;
}

std::string CommandLineHelp(std::string_view programName)
{
    std::string text = "Usage: " + std::string(programName) + " [OPTIONS]\n";
    text += "Flashes firmware into a device over a serial line and talks to it in a terminal.\n\n"
            "Options:\n"
            "  --com1 DEVICE   open DEVICE when Com1 is chosen (default /dev/ttyS0)\n"
            "  --com2 DEVICE   open DEVICE when Com2 is chosen (default /dev/ttyS1)\n"
            "  --list-ports    print the serial devices present, with what the system says of\n"
            "                  each, and exit\n"
            "  --demo          run against a built-in simulated device on both ports\n"
            "  --help, -h      print this help and exit\n"
            "  --version       print the version and exit\n";
    return text;
}

std::string VersionText()
{
    return std::string("Tarvel ") + TARVEL_VERSION;
}
