#include "app/TerminalDecoder.h"

#include <array>
#include <cstddef>

namespace {
// Code page 1252 for 0x80-0x9F; 0xFFFD where the code page assigns nothing.
constexpr std::array<char16_t, 32> Cp1252High{
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};
} // namespace

QChar TTerminalDecoder::DisplayChar(unsigned char byte)
{
    if (byte == '\t') return QChar(u'\t');
    if (byte < 0x20) return QChar(static_cast<char16_t>(0x2400 + byte));
    if (byte == 0x7F) return QChar(u'\u2421');
    if (byte >= 0x80 && byte < 0xA0) return QChar(Cp1252High[byte - 0x80]);
    if (byte == 0xAD) return QChar(u'\u2010'); // the soft hyphen would be invisible
    return QChar(static_cast<char16_t>(byte));
}

namespace {

// The code page's byte for a character; '?' for what it cannot hold (and each half of a
// surrogate pair).
char CodePageByte(char16_t unit)
{
    if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) return static_cast<char>(unit);
    for (std::size_t i = 0; i < Cp1252High.size(); ++i)
        if (Cp1252High[i] == unit && unit != 0xFFFD) return static_cast<char>(0x80 + i);
    return '?';
}

} // namespace

std::string TTerminalDecoder::EncodeTyped(const QString& text)
{
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(text.size()));
    for (const QChar ch : text)
        bytes.push_back(CodePageByte(ch.unicode()));
    return bytes;
}

QChar TTerminalDecoder::StoredChar(unsigned char byte)
{
    return byte == 0x8D ? QChar(u'\u240A') : DisplayChar(byte);
}

std::string TTerminalDecoder::EncodeShown(const QString& text)
{
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(text.size()));
    for (const QChar ch : text) {
        const char16_t unit = ch.unicode();
        if (unit == u'\n' || unit == u'\t')
            bytes.push_back(static_cast<char>(unit));
        else if (unit == u'\u240A')
            bytes.push_back('\x8D');
        else if (unit >= 0x2400 && unit < 0x2420)
            bytes.push_back(static_cast<char>(unit - 0x2400));
        else if (unit == 0x2421)
            bytes.push_back('\x7F');
        else if (unit == 0xFFFD)
            bytes.push_back('\x81');
        else if (unit == 0x2010)
            bytes.push_back('\xAD');
        else
            bytes.push_back(CodePageByte(unit));
    }
    return bytes;
}
