#pragma once
// Command line of tarvel-flash.

#include "firmware/SRecordWriter.h"
#include "flasher/TCheckDialogue.h"
#include "options/TOptionReader.h"
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

enum class TProgressStyle { Auto, Bar, Plain, None };

struct TFlashOptions
{
    // The run
    std::vector<std::string> Ports;
    std::string File;
    int FlashType = 0; // 0 firmware (answers "2"), 1 boot (answers "1")
    std::chrono::seconds Timeout{10};
    bool NoCheck = false;
    bool RequireConfirmation = false; // a device silent after the last line fails
    bool Watch = false;
    // Proof that the board runs, after the flash: texts sent and awaited in order
    std::vector<TCheckStep> Check;
    // What it shows and keeps
    std::string LogPath; // empty: no log
    TProgressStyle Progress = TProgressStyle::Auto;
    bool Quiet = false;
    bool Json = false;
    std::string ReportPath; // --report: a CSV row per board
    std::string JUnitPath;  // --junit: a test case per board
    // Files converted to S-records (Intel HEX, ELF, raw binary)
    std::optional<std::uint32_t> BaseAddress;   // a raw binary's first byte; only for one
    std::size_t RecordSize = DefaultRecordSize; // data bytes per S3 record
    // Instead of a run
    bool ShowHelp = false;
    bool ShowVersion = false;
};

TFlashOptions ParseFlashCommandLine(std::span<const std::string_view> arguments);
std::string FlashUsage();
