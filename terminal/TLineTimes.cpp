#include "terminal/TLineTimes.h"

#include <algorithm>
#include <cstring>

TLineTimes::TLineTimes(std::uint64_t memoryLimit, TByteStore::TFileMaker makeFile)
    : fStore(memoryLimit, std::move(makeFile))
{
}

void TLineTimes::AppendRuns(TLineTime time, std::uint64_t count)
{
    const TRecord record = Record(time);
    while (count > 0) {
        if (fTailCount > 0 && record == fLastTime) {
            TRecord& last = fTail[fTailCount - 1];
            if (IsCount(last)) {
                last += static_cast<TRecord>(count);
                fTailLines += count;
                return;
            }
            // A run's count record stays in its group, so a group can be read alone.
            if (fTailCount < GroupRecords) {
                fTail[fTailCount++] = CountBase + static_cast<TRecord>(count);
                fTailLines += count;
                return;
            }
        }
        if (fTailCount == GroupRecords) Flush();
        fTail[fTailCount++] = record;
        fLastTime = record;
        ++fTailLines;
        --count;
    }
}

void TLineTimes::Flush()
{
    fStore.Append(std::string_view(reinterpret_cast<const char*>(fTail.data()), GroupBytes));
    fGroupLines.push_back(fFlushedLines);
    fFlushedLines += fTailLines;
    fTailLines = 0;
    fTailCount = 0;
}

std::optional<TLineTime> TLineTimes::At(std::uint64_t line) const
{
    if (line >= Count()) return std::nullopt;
    std::size_t group = fGroupLines.size(); // the tail
    std::uint64_t first = fFlushedLines;
    const char* records = reinterpret_cast<const char*>(fTail.data());
    std::size_t size = fTailCount;
    if (line < fFlushedLines) {
        group = static_cast<std::size_t>(
            std::upper_bound(fGroupLines.begin(), fGroupLines.end(), line) - fGroupLines.begin() -
            1);
        first = fGroupLines[group];
        const std::string_view piece = fStore.Piece(std::uint64_t{group} * GroupBytes);
        if (piece.size() < GroupBytes) return std::nullopt; // not what was written
        records = piece.data();
        size = GroupRecords;
    }
    THint at{group, 0, first, 0};
    if (fHint.Group == group && fHint.Line <= line) at = fHint;
    for (; at.Index < size; ++at.Index) {
        TRecord record = 0;
        std::memcpy(&record, records + at.Index * sizeof(TRecord), sizeof(TRecord));
        if (!IsCount(record)) at.Time = record;
        const std::uint64_t lines = Lines(record);
        if (line - at.Line < lines) {
            fHint = at;
            return TLineTime(TLineTime::duration(at.Time));
        }
        at.Line += lines;
    }
    return std::nullopt; // a group read back as something else
}

void TLineTimes::Truncate(std::uint64_t count)
{
    if (count >= Count()) return;
    fHint = {};
    if (count < fFlushedLines) {
        // The group holding the cut becomes the tail again.
        const std::size_t group = static_cast<std::size_t>(
            std::upper_bound(fGroupLines.begin(), fGroupLines.end(), count) - fGroupLines.begin() -
            1);
        const std::string_view piece = fStore.Piece(std::uint64_t{group} * GroupBytes);
        fTailCount = std::min(piece.size(), GroupBytes) / sizeof(TRecord);
        std::memcpy(fTail.data(), piece.data(), fTailCount * sizeof(TRecord));
        fFlushedLines = fGroupLines[group];
        fGroupLines.resize(group);
        fStore.Truncate(std::uint64_t{group} * GroupBytes);
    }
    CutTail(count - fFlushedLines);
}

void TLineTimes::CutTail(std::uint64_t lines)
{
    std::uint64_t kept = 0;
    std::size_t i = 0;
    for (; i < fTailCount && kept < lines; ++i) {
        const std::uint64_t more = std::min(Lines(fTail[i]), lines - kept);
        if (IsCount(fTail[i]))
            fTail[i] = CountBase + static_cast<TRecord>(more);
        else
            fLastTime = fTail[i];
        kept += more;
    }
    fTailCount = i;
    fTailLines = kept;
}
