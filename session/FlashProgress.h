#pragma once

#include <cstdint>

// Gauge value (0..100) for a transfer that has fetched blocksRead of totalBlocks
// buffers. A file shorter than one buffer has no whole block: it shows 0 until all of
// it has been fetched and 100 from then on. A file that grew while being read never
// goes past 100.
int FlashProgressPercent(std::uint64_t blocksRead, std::uint64_t totalBlocks, bool allFetched);
