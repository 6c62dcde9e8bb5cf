#pragma once
// How the terminal's bytes appear as characters (line ends and backspaces are TTerminalText's):
//  - TAB stays a tab;
//  - the other control bytes 0x00-0x1F and DEL 0x7F are shown as their Unicode control pictures
//    (U+2400 + byte, U+2421 for DEL), so nothing the device sends is hidden;
//  - 0x20-0x7E are ASCII; 0x80-0xFF are the Windows ANSI code page 1252, whose five unassigned
//    bytes (0x81, 0x8D, 0x8F, 0x90, 0x9D) show as U+FFFD and whose invisible soft hyphen 0xAD
//    shows as a hyphen (U+2010).

#include <QString>

#include <string>
#include <string_view>

class TTerminalDecoder
{
public:
    // Display character of one received byte that is not a line end.
    static QChar DisplayChar(unsigned char byte);
    // Display character of one byte of TTerminalText, which keeps a shown line feed as 0x8D.
    static QChar StoredChar(unsigned char byte);
    // Text the terminal shows itself as TTerminalText bytes: '\n' separates lines, what
    // DisplayChar and StoredChar show comes back as their byte, '?' for any other character.
    static std::string EncodeShown(const QString& text);
    // Typed text as the device reads it: code page 1252, as received bytes are shown, with '?'
    // for a character the code page has no byte for.
    static std::string EncodeTyped(const QString& text);
};
