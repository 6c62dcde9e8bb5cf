#include "firmware/ImageFormat.h"

#include "firmware/ElfImage.h"

#include <algorithm>

namespace {

bool IsTextByte(unsigned char c)
{
    return c >= 0x20 || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == 0x1A;
}

} // namespace

TImageFormat DetectImageFormat(std::string_view content)
{
    if (IsElf(content)) return TImageFormat::Elf;
    if (!std::all_of(content.begin(), content.end(),
                     [](char c) { return IsTextByte(static_cast<unsigned char>(c)); }))
        return TImageFormat::Binary;
    const std::size_t first = content.find_first_not_of(" \t\r\n\v\f");
    if (first != std::string_view::npos && content[first] == ':') return TImageFormat::IntelHex;
    return TImageFormat::Text;
}

const char* ImageFormatName(TImageFormat format)
{
    switch (format) {
    case TImageFormat::IntelHex:
        return "Intel HEX";
    case TImageFormat::Elf:
        return "ELF";
    case TImageFormat::Binary:
        return "raw binary";
    case TImageFormat::Text:
        break;
    }
    return "text";
}
