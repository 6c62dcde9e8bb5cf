#pragma once
// Command line of tarvel-flash.

#include <chrono>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

enum class TProgressStyle { Auto, Bar, Plain, None };

struct TFlashOptions
{
    std::vector<std::string> Ports;
    int FlashType = 0; // 0 firmware (answers "2"), 1 boot (answers "1")
    std::chrono::seconds Timeout{10};
    std::string LogPath; // empty: no log
    TProgressStyle Progress = TProgressStyle::Auto;
    bool Quiet = false;
    bool Json = false;
    bool Watch = false;
    bool NoCheck = false;
    bool ShowHelp = false;
    bool ShowVersion = false;
    std::string File;
};

// A command line that cannot be run; the message names the offending argument.
class EUsage : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

TFlashOptions ParseFlashCommandLine(std::span<const std::string_view> arguments);
std::string FlashUsage();
