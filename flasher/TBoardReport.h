#pragma once
// What a rig keeps of every board it flashes: a row in a CSV file (RFC 4180) that several
// processes may append to at once, and a JUnit document for CI systems, rewritten whole as each
// board ends so that it is always complete.

#include "system/TFile.h"

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct TBoardRecord
{
    std::string TimeUtc; // ISO 8601, when the board ended
    std::string Station; // the host's name
    std::string Port;
    std::string UsbSerial;
    std::string File;
    std::string Sha256;
    std::string Result; // ok, unconfirmed, failed, interrupted
    int ExitCode = 0;
    double Seconds = 0;
    std::int32_t Lines = 0;
    std::uint64_t Bytes = 0;
    std::string Check; // the texts the check matched, " | " between them
    std::string Message;
};

std::string CsvHeader();
std::string CsvRow(const TBoardRecord& board);
std::string JUnitDocument(std::span<const TBoardRecord> boards);
// Device bytes as UTF-8 for a record: valid UTF-8 as it is, anything else read as Latin-1, so
// that every byte shows and no reader rejects the file.
std::string AsUtf8(std::string_view bytes);
// Now, as TBoardRecord::TimeUtc has it.
std::string UtcTimeNow();

class TBoardReport
{
public:
    // Opens the CSV file now (a header when it is new); empty paths write nothing. Throws
    // std::system_error when the CSV file cannot be opened.
    TBoardReport(const std::filesystem::path& csvPath, std::filesystem::path junitPath);

    // Any thread. A board's records, written before this returns; what could not be written is
    // said in the text returned, the row with it, so that nothing is lost.
    std::optional<std::string> Add(const TBoardRecord& board);

private:
    std::mutex fMutex; // the JUnit document and its board list
    std::optional<TFile> fCsv;
    std::filesystem::path fCsvPath;
    std::filesystem::path fJUnitPath;
    std::vector<TBoardRecord> fBoards;
};
