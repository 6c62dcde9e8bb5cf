#pragma once
#include <cstdint>

enum TBorderStyle : std::uint8_t { bsNone = 0, bsSingle = 1 };
