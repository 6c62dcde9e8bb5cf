#include "terminal/TReceivedLog.h"

#include <algorithm>

TReceivedLog::TReceivedLog(std::uint64_t memoryLimit, const TByteStore::TFileMaker& makeFile)
    : fBytes(memoryLimit, makeFile), fTimes(memoryLimit / 8, makeFile)
{
}

std::size_t TReceivedLog::TLineState::Inside(std::string_view piece) const
{
    if (!Open) return 0;
    const auto end = std::find_if(piece.begin(), piece.end(),
                                  [](char byte) { return byte == '\r' || byte == '\n'; });
    return static_cast<std::size_t>(end - piece.begin());
}

void TReceivedLog::Append(std::string_view bytes, TLineTime now)
{
    fBytes.Append(bytes);
    while (!bytes.empty()) {
        // Most bytes lie inside a line: skipped in one search.
        if (const std::size_t inside = fState.Inside(bytes); inside > 0) {
            bytes.remove_prefix(inside);
            continue;
        }
        if (fState.Begins(bytes.front())) fTimes.Append(now);
        bytes.remove_prefix(1);
    }
}

void TReceivedLog::Clear()
{
    fBytes.Clear();
    fTimes.Clear();
    fState = {};
}

std::optional<std::string> TReceivedLog::TakeSpillError()
{
    if (auto why = fBytes.TakeSpillError()) return why;
    return fTimes.TakeSpillError();
}

void TReceivedLog::ForEachStamped(
    const std::function<std::string(std::optional<TLineTime>, TLineTime)>& prefix,
    const std::function<void(std::string_view)>& take) const
{
    TLineState state;
    std::uint64_t line = 0;
    std::optional<TLineTime> previous;
    fBytes.ForEach(0, fBytes.Size(), [&](std::string_view piece) {
        while (!piece.empty()) {
            const std::size_t inside = state.Inside(piece);
            if (inside > 0) {
                take(piece.substr(0, inside));
                piece.remove_prefix(inside);
                continue;
            }
            if (state.Begins(piece.front())) {
                const std::optional<TLineTime> time = fTimes.At(line++);
                if (time) take(prefix(previous, *time));
                previous = time;
            }
            take(piece.substr(0, 1));
            piece.remove_prefix(1);
        }
    });
}
