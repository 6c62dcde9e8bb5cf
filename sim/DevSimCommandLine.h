#pragma once
// Command line of tarvel-devsim.

#include "options/TOptionReader.h"
#include "sim/TFaultPlan.h"
#include "sim/TSimulatedDevice.h"

#include <optional>

#include <span>
#include <string>
#include <string_view>

struct TDevSimCommandLine
{
    TSimulatedDeviceOptions Device;
    std::string DumpImagePath;             // empty: no dump
    std::optional<TFaultPlan> RandomFault; // drawn from --random-fault, already in Device
    bool ShowHelp = false;
};

// Throws std::invalid_argument with a message naming the offending argument.
TDevSimCommandLine ParseDevSimCommandLine(std::span<const std::string_view> arguments);
std::string DevSimUsage();

// A non-negative decimal that fits an int; throws std::invalid_argument naming `option`.
