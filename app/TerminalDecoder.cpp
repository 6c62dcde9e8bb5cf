#include "app/TerminalDecoder.h"

#include "window/CodePage1252.h"

#include <cstddef>

QChar TTerminalDecoder::DisplayChar(unsigned char byte)
{
    return QChar(DisplayUnit(byte));
}

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
