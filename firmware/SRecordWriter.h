#pragma once
// An image as the S-record text the boot loader takes: an S0 header with the file's name, S3
// data records (32-bit addresses) with a new record at each gap, and an S7 record with the entry
// point. Lines end in CR LF, as the S-record files the device is given.

#include "firmware/TFirmwareImage.h"

#include <cstddef>
#include <string>
#include <string_view>

// Data bytes per S3 record: its byte count (address, data, checksum) must fit a byte.
constexpr std::size_t MinRecordSize = 1;
constexpr std::size_t MaxRecordSize = 250;
constexpr std::size_t DefaultRecordSize = 32;

struct TSRecordText
{
    std::string Text;
    std::size_t Records = 0; // lines, header and end record included
};

// name: the header's text (longer than an S0 record holds, it is cut). Throws EInOutError when
// recordSize is outside MinRecordSize..MaxRecordSize.
TSRecordText WriteSRecords(const TFirmwareImage& image, std::string_view name,
                           std::size_t recordSize);
