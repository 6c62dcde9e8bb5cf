#pragma once
#include <filesystem>
#include <string>
#include <string_view>

// Text preparation around catalogue lookups: keys lose their CRs, results get CR LF line ends.

// text without any CR byte.
std::string WithoutCarriageReturns(std::string_view text);

// text with a CR inserted before every LF that does not already follow a CR.
std::string WithCarriageReturnLineEnds(std::string_view text);

// Whether text is well-formed UTF-8 (no overlong forms, surrogates or code points above U+10FFFF).
bool IsValidUtf8(std::string_view text);

// A file-system path from UTF-8 text: Windows gets it in UTF-16, Linux takes the bytes as they are.
std::filesystem::path PathFromUtf8(std::string_view text);
