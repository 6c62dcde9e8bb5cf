#include "session/FlashProgress.h"

#include <algorithm>

int FlashProgressPercent(std::uint64_t blocksRead, std::uint64_t totalBlocks, bool allFetched)
{
    if (totalBlocks == 0) return allFetched ? 100 : 0;
    // 64-bit product: a 32-bit one overflows for files of a few gigabytes.
    const std::uint64_t percent = blocksRead >= totalBlocks ? 100 : blocksRead * 100 / totalBlocks;
    return static_cast<int>(std::min<std::uint64_t>(percent, 100));
}
