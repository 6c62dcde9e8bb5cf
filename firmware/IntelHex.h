#pragma once
// Intel HEX, as toolchains write it: read into an image, every record checked.

#include "firmware/TFirmwareImage.h"

#include <string_view>

// Reads every record: hex digits, byte count, checksum, the type (00 data, 01 end of file,
// 02/04 extended segment/linear address, 03/05 start address), the file ends with its 01
// record, and no two data records overlap. An error throws EInOutError (ErrorCode 0) whose
// message names the line. Blank lines are skipped; the entry point is 0 without 03 or 05.
TFirmwareImage ReadIntelHex(std::string_view text);
