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
    return ::EncodeShown(text.toStdString());
}
