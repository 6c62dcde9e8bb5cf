#pragma once
// The window's texts are UTF-8 (the model's and the catalogues'); Windows' wide calls take UTF-16.

#include <string>
#include <string_view>

std::wstring Wide(std::string_view utf8);
std::string Utf8(std::wstring_view wide);
