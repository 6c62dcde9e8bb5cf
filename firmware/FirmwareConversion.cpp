#include "firmware/FirmwareConversion.h"

#include "firmware/ElfImage.h"
#include "firmware/ImageCheck.h"
#include "firmware/IntelHex.h"
#include "firmware/SRecord.h"

namespace {

TFirmwareImage ReadBinary(std::string_view content, std::uint32_t base)
{
    TImagePieces pieces;
    pieces.Add(base, {reinterpret_cast<const std::uint8_t*>(content.data()), content.size()}, 0);
    return TFirmwareImage(pieces, 0, "byte");
}

} // namespace

std::optional<TConvertedImage> ConvertToSRecords(std::string_view content, std::string_view name,
                                                 const TImageOptions& options)
{
    const TImageFormat format = DetectImageFormat(content);
    if (format == TImageFormat::Text) return std::nullopt;
    TFirmwareImage image = format == TImageFormat::IntelHex ? ReadIntelHex(content)
                           : format == TImageFormat::Elf    ? ReadElfImage(content)
                                                         : ReadBinary(content, options.BaseAddress);
    TSRecordText text = WriteSRecords(image, name, options.RecordSize);
    return TConvertedImage{format, std::move(image), std::move(text)};
}

std::optional<std::string> SRecordImageSha256(std::string_view text)
{
    TImagePieces pieces;
    std::uint32_t line = 0;
    try {
        for (const std::string_view record : FirmwareLines(text)) {
            ++line;
            if (record.find_first_not_of(" \t\r") == std::string_view::npos) continue;
            const TSRecord parsed = ParseSRecord(record);
            if (IsSRecordData(parsed.Type)) pieces.Add(parsed.Address, parsed.Data, line);
        }
        return TFirmwareImage(pieces, 0, "line").Sha256();
    } catch (const EInOutError&) {
        return std::nullopt;
    }
}

std::string ConversionSummary(const TConvertedImage& converted)
{
    const TFirmwareImage& image = converted.Image;
    std::string summary = std::string(ImageFormatName(converted.Format)) + "; sending it as " +
                          std::to_string(converted.SRecords.Records) + " S-records (" +
                          std::to_string(image.ByteCount()) + " bytes at " +
                          AddressRange(image.LowAddress(), image.End());
    if (image.Segments().size() > 1)
        summary += " in " + std::to_string(image.Segments().size()) + " runs";
    return summary + ")";
}
