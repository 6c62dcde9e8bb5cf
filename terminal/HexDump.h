#pragma once
// The received bytes as a hex dump, a row at a time straight from the store, so a view shows any
// row of days of output without building the rest:
//   "0000000000  48 65 6C 6C 6F 0D 0A 00  1B 5B 30 6D 80 FF 41 42  Hello....[0m..AB"
// the row's offset, its 16 bytes in hex (a gap after the eighth), and the same bytes as text,
// where anything but printable ASCII is '.'. The last row may be shorter; its text still starts
// in the same column.

#include "terminal/TByteStore.h"

#include <cstdint>
#include <string>

constexpr std::uint64_t HexRowBytes = 16;
constexpr std::size_t HexRowWidth = 10 + 2 + HexRowBytes * 3 + 1 + 1 + HexRowBytes;

std::uint64_t HexRowCount(const TByteStore& bytes);
// Row row (the bytes from row * HexRowBytes on); empty past the last.
std::string HexRow(const TByteStore& bytes, std::uint64_t row);
// The row holding byte offset.
inline std::uint64_t HexRowAt(std::uint64_t offset)
{
    return offset / HexRowBytes;
}
