#include "terminal/TReceivedLog.h"

#include <algorithm>
#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// Among the bytes before the last of a piece: how many end a line (CR, LF), and how many are the
// CR of a CR LF. A line begins after each line end but the CR of a CR LF, so these two numbers
// give the lines a piece begins without looking for each line end in turn.
struct TLineEnds
{
    std::uint64_t Ends = 0;
    std::uint64_t CrLfs = 0;
};

TLineEnds CountLineEnds(const char* bytes, std::size_t size)
{
    TLineEnds counts;
    std::size_t i = 0;
#if defined(__SSE2__)
    // Sixteen bytes and their successors at a time; each match subtracts -1 from a byte counter,
    // summed up before any of them can wrap.
    const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n'), zero = _mm_setzero_si128();
    while (i + 16 < size) {
        __m128i ends = zero, crLfs = zero;
        for (int round = 0; round < 255 && i + 16 < size; ++round, i += 16) {
            const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
            const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i + 1));
            const __m128i isCr = _mm_cmpeq_epi8(here, cr);
            ends = _mm_sub_epi8(ends, _mm_or_si128(isCr, _mm_cmpeq_epi8(here, lf)));
            crLfs = _mm_sub_epi8(crLfs, _mm_and_si128(isCr, _mm_cmpeq_epi8(next, lf)));
        }
        const __m128i sums =
            _mm_add_epi64(_mm_sad_epu8(ends, zero), _mm_slli_si128(_mm_sad_epu8(crLfs, zero), 4));
        alignas(16) std::uint32_t lanes[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(lanes), sums);
        counts.Ends += std::uint64_t{lanes[0]} + lanes[2];
        counts.CrLfs += std::uint64_t{lanes[1]} + lanes[3];
    }
#endif
    for (; i + 1 < size; ++i) {
        counts.Ends += bytes[i] == '\r' || bytes[i] == '\n';
        counts.CrLfs += bytes[i] == '\r' && bytes[i + 1] == '\n';
    }
    return counts;
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

void TReceivedLog::AppendPiece(std::string_view bytes, TLineTime now)
{
    fBytes.Append(bytes);
    std::uint64_t begun = 0;
    if (!bytes.empty()) {
        begun = fState.Begins(bytes.front()) ? 1 : 0;
        const TLineEnds ends = CountLineEnds(bytes.data(), bytes.size());
        begun += ends.Ends - ends.CrLfs;
        // Whatever came before, the last byte alone says whether a line is open after it.
        if (bytes.size() > 1) {
            fState.Open = bytes.back() != '\r' && bytes.back() != '\n';
            fState.AfterCr = bytes.back() == '\r';
        }
    }
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
