#include "terminal/TReceivedLog.h"

#include <algorithm>
#include <bit>
#include <cstring>

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

namespace {

// The first CR or LF from from on, or end. Eight bytes are looked at together: each byte below
// 14 sets its high bit in `low`, and the first of them is exact (those after it may be set by
// its borrow). Bytes below 14 other than CR and LF are rare in text. For short lines this is
// faster than a memchr for each of CR and LF, and about as fast for long ones.
const char* NextLineEnd(const char* from, const char* end)
{
    constexpr std::uint64_t Ones = 0x0101010101010101u;
    constexpr std::uint64_t Highs = 0x8080808080808080u;
    const auto isEnd = [](char byte) { return byte == '\r' || byte == '\n'; };
    for (; end - from >= 8; from += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, from, sizeof word);
        if (((word - 14 * Ones) & ~word & Highs) == 0) continue;
        for (int i = 0; i < 8; ++i)
            if (isEnd(from[i])) return from + i;
    }
    while (from < end && !isEnd(*from))
        ++from;
    return from;
}

} // namespace

void TReceivedLog::Append(std::string_view bytes, TLineTime now)
{
    while (!bytes.empty()) {
        const std::size_t room = static_cast<std::size_t>(IndexStep - fBytes.Size() % IndexStep);
        AppendPiece(bytes.substr(0, room), now);
        if (fBytes.Size() % IndexStep == 0) fIndex.push_back({fTimes.Count(), fState});
        bytes.remove_prefix(std::min(room, bytes.size()));
    }
}

// Most bytes lie inside a line and are skipped without being looked at one by one.
void TReceivedLog::AppendPiece(std::string_view bytes, TLineTime now)
{
    fBytes.Append(bytes);
    const char* at = bytes.data();
    const char* const end = at + bytes.size();
    std::uint64_t begun = 0;
    TLineState state = fState; // a copy the compiler keeps in registers
    while (at < end) {
        if (state.Open) { // and so not after a CR
            at = NextLineEnd(at, end);
            if (at == end) break;
        }
        if (state.Begins(*at)) ++begun;
        ++at;
    }
    fState = state;
    fTimes.Append(now, begun);
}

void TReceivedLog::Clear()
{
    fBytes.Clear();
    fTimes.Clear();
    fState = {};
    fIndex.assign(1, TIndexEntry{0, {}});
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

template <typename TTake> void TReceivedLog::Scan(std::uint64_t from, TTake take) const
{
    const std::size_t step =
        std::min(static_cast<std::size_t>(from / IndexStep), fIndex.size() - 1);
    TLineState state = fIndex[step].State;
    std::uint64_t offset = std::uint64_t{step} * IndexStep;
    while (offset < fBytes.Size()) {
        const std::string_view piece = fBytes.Piece(offset);
        for (const char byte : piece)
            if (!take(offset++, state.Begins(byte))) return;
    }
}

std::uint64_t TReceivedLog::LineStart(std::uint64_t line) const
{
    if (line >= fTimes.Count()) return fBytes.Size();
    const auto after = std::upper_bound(
        fIndex.begin(), fIndex.end(), line,
        [](std::uint64_t wanted, const TIndexEntry& entry) { return wanted < entry.LinesBefore; });
    const auto step = static_cast<std::size_t>(after - fIndex.begin() - 1);
    std::uint64_t lines = fIndex[step].LinesBefore;
    std::uint64_t start = fBytes.Size();
    Scan(std::uint64_t{step} * IndexStep, [&](std::uint64_t offset, bool begins) {
        if (begins && lines++ == line) {
            start = offset;
            return false;
        }
        return true;
    });
    return start;
}

std::uint64_t TReceivedLog::LineAt(std::uint64_t offset) const
{
    if (fBytes.Size() == 0) return 0;
    offset = std::min(offset, fBytes.Size() - 1);
    const std::size_t step = static_cast<std::size_t>(offset / IndexStep);
    std::uint64_t lines = fIndex[step].LinesBefore;
    Scan(offset, [&](std::uint64_t at, bool begins) {
        lines += begins ? 1 : 0;
        return at < offset;
    });
    return lines > 0 ? lines - 1 : 0;
}
