#pragma once
// A firmware file the boot loader cannot take as it is (Intel HEX, ELF, raw binary) becomes
// S-record text in memory, checked on the way; text files are left alone.

#include "firmware/ImageFormat.h"
#include "firmware/SRecordWriter.h"
#include "firmware/TFirmwareImage.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct TImageOptions
{
    std::uint32_t BaseAddress = 0; // where a raw binary's first byte goes
    std::size_t RecordSize = DefaultRecordSize;
};

struct TConvertedImage
{
    TImageFormat Format;
    TFirmwareImage Image;
    TSRecordText SRecords;
};

// Nothing for text (S-records or other), which is sent as it is. name is the file's base name,
// the S0 header's text. A file that cannot be converted throws EInOutError (ErrorCode 0).
std::optional<TConvertedImage> ConvertToSRecords(std::string_view content, std::string_view name,
                                                 const TImageOptions& options);

// The SHA-256 of the image an S-record file loads, reckoned as a converted file's is, so that the
// same image has one digest whatever format carried it. Nothing when the records overlap, carry
// no data or do not parse.
std::optional<std::string> SRecordImageSha256(std::string_view text);

// "Intel HEX; sending it as 123 S-records (4096 bytes at 0x08000000-0x08000FFF)", with the
// number of runs when the image has gaps.
std::string ConversionSummary(const TConvertedImage& converted);
