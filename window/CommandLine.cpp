#include "window/CommandLine.h"

#include <vector>

TCommandLineOptions ParseCommandLine(std::span<const std::string> args)
{
    const std::vector<std::string_view> arguments(args.begin(), args.end());
    TOptionReader reader(arguments);
    TCommandLineOptions options;
    while (reader.Next()) {
        const std::string_view name = reader.Name();
        if (name == "--com1" || name == "--com2")
            options.DevicePaths[name == "--com1" ? 1 : 2] = reader.Value("a device path");
        else if (name == "--list-ports")
            options.ListPorts = true;
        else if (name == "--demo")
            options.Demo = true;
        else if (name == "--help" || name == "-h")
            options.Help = true;
        else if (name == "--version")
            options.Version = true;
        else
            reader.Reject();
    }
    // The demo device replaces both ports; a device given as well would be silently ignored.
    if (options.Demo && !options.DevicePaths.empty())
        throw EUsage("option '--demo' cannot be combined with '--com1' or '--com2'");
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
