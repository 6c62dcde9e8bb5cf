#include "window/CodePage1252.h"

#include <array>
#include <cstddef>

namespace {
// Code page 1252 for 0x80-0x9F; 0xFFFD where the code page assigns nothing.
constexpr std::array<char16_t, 32> Cp1252High{
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};
} // namespace

char16_t DisplayUnit(unsigned char byte)
{
    if (byte == '\t') return u'\t';
    if (byte < 0x20) return static_cast<char16_t>(0x2400 + byte);
    if (byte == 0x7F) return u'\u2421';
    if (byte >= 0x80 && byte < 0xA0) return Cp1252High[byte - 0x80];
    if (byte == 0xAD) return u'\u2010'; // the soft hyphen would be invisible
    return byte;
}

char CodePageByte(char32_t character)
{
    if (character < 0x80 || (character >= 0xA0 && character <= 0xFF))
        return static_cast<char>(character);
    for (std::size_t i = 0; i < Cp1252High.size(); ++i)
        if (Cp1252High[i] == character && character != 0xFFFD) return static_cast<char>(0x80 + i);
    return '?';
}

void AppendUtf8(std::string& text, char32_t c)
{
    if (c < 0x80) {
        text += static_cast<char>(c);
    } else if (c < 0x800) {
        text += static_cast<char>(0xC0 | (c >> 6));
        text += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        text += static_cast<char>(0xE0 | (c >> 12));
        text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        text += static_cast<char>(0xF0 | (c >> 18));
        text += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string DisplayText(std::string_view bytes)
{
    std::string text;
    text.reserve(bytes.size() + bytes.size() / 2);
    for (const char c : bytes)
        AppendUtf8(text, DisplayUnit(static_cast<unsigned char>(c)));
    return text;
}

namespace {

// UTF-8 text as one byte per character, each made by byteOf; a character outside the basic plane
// becomes "??", as each half of its UTF-16 pair would.
template <typename TByteOf> std::string Encode(std::string_view utf8, TByteOf byteOf)
{
    std::string bytes;
    bytes.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        if (i + length > utf8.size()) { // a cut character
            bytes += '?';
            break;
        }
        char32_t c = length == 1 ? lead : lead & (0xFF >> (length + 1));
        for (std::size_t k = 1; k < length; ++k)
            c = (c << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        bytes += c >= 0x10000 ? std::string("??") : std::string(1, byteOf(c));
        i += length;
    }
    return bytes;
}

} // namespace

std::string EncodeTyped(std::string_view utf8)
{
    return Encode(utf8, CodePageByte);
}

std::string EncodeShown(std::string_view utf8)
{
    return Encode(utf8, [](char32_t c) {
        if (c == U'\n' || c == U'\t') return static_cast<char>(c);
        if (c == U'\u240A') return '\x8D'; // a line feed shown as a character
        if (c >= 0x2400 && c < 0x2420) return static_cast<char>(c - 0x2400);
        if (c == 0x2421) return '\x7F';
        if (c == 0xFFFD) return '\x81';
        if (c == 0x2010) return '\xAD';
        return CodePageByte(c);
    });
}
