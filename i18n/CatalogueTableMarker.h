#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

// The executable carries a 44-byte constant: a fixed text followed by 8 bytes that a packaging
// step overwrites with the file position of the appended catalogue table (0 = none appended).
inline constexpr std::size_t CatalogueTableMarkerTextSize = 36;
inline constexpr std::size_t CatalogueTableMarkerSize = CatalogueTableMarkerTextSize + 8;

// The marker text, as the packaging tool searches for it.
std::string_view CatalogueTableMarkerText();

// The 8 position bytes as they are in this process's loaded image, little-endian.
uint64_t CatalogueTablePosition();
