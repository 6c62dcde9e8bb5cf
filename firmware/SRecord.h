#pragma once
// One Motorola S-record: parsing and formatting of a single line.

#include "i18n/EInOutError.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct TSRecord
{
    int Type = 0; // the digit after 'S', 0..9 (4 is never valid)
    uint32_t Address = 0;
    std::vector<uint8_t> Data;
};

// 0..15 for a hex digit of either case, -1 for any other character.
int HexDigitValue(char c);

// Width of the address field in bytes for a record type; 0 for a type that does not exist.
std::size_t SRecordAddressSize(int type);
bool IsSRecordData(int type);        // S1, S2, S3
bool IsSRecordTermination(int type); // S7, S8, S9

// Parses one record without its line end (trailing CR, LF, blanks are tolerated). Checks the
// type, the hex digits, the byte count and the checksum. A record that cannot be parsed throws
// EInOutError (ErrorCode 0) whose message says what is wrong in words that are safe to show on the
// device line (no ':' or '>', which the program treats as prompts).
TSRecord ParseSRecord(std::string_view line);

// Formats a record as upper-case text without a line end. Throws EInOutError when the record does
// not fit its type (address too wide, too much data, data on a record type that carries none).
std::string FormatSRecord(const TSRecord& record);
