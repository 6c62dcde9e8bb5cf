#pragma once
// What a firmware file is, told by its content (never its name): the boot loader takes
// S-record text, and other text goes out as it is; what toolchains make instead is converted.

#include <string_view>

enum class TImageFormat {
    Text,     // S-records or any other text: sent line by line as it is
    IntelHex, // text whose first record starts with ':'
    Elf,      // the ELF magic number
    Binary,   // anything else: raw memory bytes from a base address
};

// Text holds no NUL and no control character other than TAB, LF, VT, FF, CR and Ctrl-Z (which
// ends a text file); bytes above 127 are text (code page 1252).
TImageFormat DetectImageFormat(std::string_view content);

// "Intel HEX", "ELF", "raw binary", "text".
const char* ImageFormatName(TImageFormat format);
