#pragma once
#include <cstdint>

// Where one catalogue stored inside the executable lies (absolute file positions).
struct TStoredCatalogueInfo
{
    int64_t StoredOffset = 0;
    int64_t StoredSize = 0;
};
