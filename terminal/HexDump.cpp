#include "terminal/HexDump.h"

#include <cstdio>

std::uint64_t HexRowCount(const TByteStore& bytes)
{
    return (bytes.Size() + HexRowBytes - 1) / HexRowBytes;
}

std::string HexRow(const TByteStore& bytes, std::uint64_t row)
{
    if (row >= HexRowCount(bytes)) return {};
    static constexpr char Digits[] = "0123456789ABCDEF";
    const std::string data = bytes.Read(row * HexRowBytes, HexRowBytes);
    // Ten digits: a terabyte of output before the column widens.
    char offset[24];
    const int digits = std::snprintf(offset, sizeof offset, "%010llX",
                                     static_cast<unsigned long long>(row * HexRowBytes));
    std::string text(offset, static_cast<std::size_t>(digits));
    text += "  ";
    for (std::size_t i = 0; i < HexRowBytes; ++i) {
        if (i == HexRowBytes / 2) text += ' ';
        if (i < data.size()) {
            const auto byte = static_cast<unsigned char>(data[i]);
            text += Digits[byte >> 4];
            text += Digits[byte & 0xF];
            text += ' ';
        } else {
            text += "   ";
        }
    }
    text += ' ';
    for (const char byte : data)
        text += byte >= 0x20 && byte < 0x7F ? byte : '.';
    return text;
}
