#pragma once
// What tarvel-flash makes sure of before it opens a port: the firmware file can be sent, and an
// S-record image is intact, since a board half-flashed with a corrupted image is worse than a
// board not flashed.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct TImageCheck
{
    std::optional<std::string> Error; // what is wrong, naming the line; nothing may be sent
    bool SRecords = false;            // the file is S-records and every record was verified
};

// Longest line the sender takes: it never queues more than this ahead of the wire.
constexpr std::size_t MaxLineBytes = 8192;

// verifyRecords false (--no-check): only what makes the file unsendable is an error.
TImageCheck CheckImage(std::string_view text, bool verifyRecords);

// The file's lines as the sender reads them: up to each LF, ending at Ctrl-Z (CRs still inside).
std::vector<std::string_view> FirmwareLines(std::string_view text);

// Bytes on the wire for the first n lines: each without its CRs, followed by one CR.
std::uint64_t BytesOfLines(std::string_view text, std::int32_t n);
