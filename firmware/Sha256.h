#pragma once
// SHA-256 of a byte string, as lower-case hex: which image a board got, for a rig's records.

#include <string>
#include <string_view>

std::string Sha256Hex(std::string_view bytes);
