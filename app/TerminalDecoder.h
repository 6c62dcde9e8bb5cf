#pragma once
// How received bytes appear in the terminal. Each byte becomes exactly one character, in order:
//  - CR LF, LF and CR each end a line; a CR that ends one chunk and an LF that starts the next are
//    still one line end;
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
    // Returns the display text of chunk, with '\n' for each line end.
    QString Decode(std::string_view chunk);

    // Display character of one byte that is not a line end.
    static QChar DisplayChar(unsigned char byte);
    // Typed text as the device reads it: code page 1252, as received bytes are shown, with '?'
    // for a character the code page has no byte for.
    static std::string EncodeTyped(const QString& text);
    // Forgets the line state: what follows starts a fresh text.
    void Reset();

private:
    bool fAfterCr = false; // the previous byte was a CR, so a following LF adds no second line end
};
