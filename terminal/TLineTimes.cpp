#include "terminal/TLineTimes.h"

#include <cstring>

TLineTimes::TLineTimes(std::uint64_t memoryLimit, TByteStore::TFileMaker makeFile)
    : fStore(memoryLimit, std::move(makeFile))
{
}

void TLineTimes::Flush()
{
    fStore.Append(
        std::string_view(reinterpret_cast<const char*>(fTail.data()), fTailCount * sizeof(TCount)));
    fFlushed += fTailCount;
    fTailCount = 0;
}

std::optional<TLineTime> TLineTimes::At(std::uint64_t line) const
{
    if (line >= Count()) return std::nullopt;
    TCount count = 0;
    if (line >= fFlushed) {
        count = fTail[static_cast<std::size_t>(line - fFlushed)];
    } else {
        const std::string_view piece = fStore.Piece(line * sizeof(TCount));
        if (piece.size() < sizeof(TCount)) return std::nullopt; // not what was written
        std::memcpy(&count, piece.data(), sizeof(TCount));
    }
    return TLineTime(TLineTime::duration(count));
}

void TLineTimes::Truncate(std::uint64_t count)
{
    if (count >= Count()) return;
    if (count >= fFlushed) {
        fTailCount = static_cast<std::size_t>(count - fFlushed);
        return;
    }
    fStore.Truncate(count * sizeof(TCount));
    fFlushed = count;
    fTailCount = 0;
}
