#pragma once
// What tarvel-flash makes sure of before it opens a port: the firmware file can be sent, and an
// S-record image is intact, since a board half-flashed with a corrupted image is worse than a
// board not flashed.

#include <optional>
#include <string>
#include <string_view>

struct TImageCheck
{
    std::optional<std::string> Error; // what is wrong, naming the line; nothing may be sent
    bool SRecords = false;            // the file is S-records and every record was verified
};

// Longest line the sender takes: it never queues more than this ahead of the wire.
constexpr std::size_t MaxLineBytes = 8192;

// verifyRecords false (--no-check): only what makes the file unsendable is an error.
TImageCheck CheckImage(std::string_view text, bool verifyRecords);
