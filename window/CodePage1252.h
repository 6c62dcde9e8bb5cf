#pragma once
// The terminal's code page: a received byte is shown as one character (code page 1252, control
// bytes as their Unicode control pictures), and typed text is sent as the device would show it.

#include <string>
#include <string_view>

// The character a received byte is shown as (a UTF-16 unit; always one).
char16_t DisplayUnit(unsigned char byte);

// The code page's byte for a character; '?' when it has none.
char CodePageByte(char32_t character);

// Received bytes as UTF-8 text, one character per byte, so the text stays one line.
std::string DisplayText(std::string_view bytes);

// UTF-8 typed text in the code page; a character outside the basic plane becomes "??", as each
// half of its UTF-16 pair would.
std::string EncodeTyped(std::string_view utf8);

// UTF-8 text as the terminal keeps it, one byte per character: the control pictures and the
// other characters DisplayUnit shows bytes as go back to those bytes; '\n' and '\t' stay.
std::string EncodeShown(std::string_view utf8);

// One character as UTF-8.
void AppendUtf8(std::string& text, char32_t character);
