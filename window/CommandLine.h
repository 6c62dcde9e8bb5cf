#pragma once
// Command-line options of the program, parsed by a pure function so they can be tested.

#include "options/TOptionReader.h"

#include <map>
#include <span>
#include <string>
#include <string_view>

struct TCommandLineOptions
{
    std::map<int, std::string> DevicePaths; // port number (1 = COM1) -> device to open for it
    bool ListPorts = false;
    bool Demo = false;
    bool Help = false;
    bool Version = false;
};

// Parses the arguments that follow the program name. Accepts "--com1 DEVICE" and
// "--com1=DEVICE" (likewise --com2), --list-ports, --demo, --help/-h, --version; throws EUsage.
TCommandLineOptions ParseCommandLine(std::span<const std::string> args);

std::string CommandLineHelp(std::string_view programName);
std::string VersionText();
