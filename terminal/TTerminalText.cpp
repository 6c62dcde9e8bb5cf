#include "terminal/TTerminalText.h"

#include <algorithm>
#include <cstring>

namespace {

std::uint64_t CountNewlines(std::string_view bytes)
{
    return static_cast<std::uint64_t>(std::count(bytes.begin(), bytes.end(), '\n'));
}

bool TakenApart(char byte)
{
    return byte == '\r' || byte == '\n' || byte == '\b' || byte == '\x8D';
}

// The first byte from from on that is taken apart, or end. Eight bytes are looked at together:
// one below 14 or equal to 0x8D sets the high bit of a byte in `candidates`, and only such a
// word, rare in text but for its line end, is looked at byte by byte.
const char* NextTakenApart(const char* from, const char* end)
{
    constexpr std::uint64_t Ones = 0x0101010101010101u;
    constexpr std::uint64_t Highs = 0x8080808080808080u;
    for (; end - from >= 8; from += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, from, sizeof word);
        const std::uint64_t shown = word ^ (0x8D * Ones); // a zero byte for each 0x8D
        const std::uint64_t candidates = ((word - 14 * Ones) & ~word) | ((shown - Ones) & ~shown);
        if ((candidates & Highs) == 0) continue;
        for (int i = 0; i < 8; ++i)
            if (TakenApart(from[i])) return from + i;
    }
    while (from < end && !TakenApart(*from))
        ++from;
    return from;
}

} // namespace

// A line holds at least its line end, so an eighth of the text's limit keeps the times' memory
// below the text's even for empty lines.
TTerminalText::TTerminalText(std::uint64_t memoryLimit, TByteStore::TFileMaker makeFile)
    : fBytes(memoryLimit, makeFile), fTimes(memoryLimit / 8, makeFile)
{
}

TLineTime TTerminalText::Now()
{
    return std::chrono::time_point_cast<TLineTime::duration>(std::chrono::system_clock::now());
}

void TTerminalText::SetClock(TClock clock)
{
    fClock = std::move(clock);
    if (!fClock) fTimes.Clear();
}

std::optional<TLineTime> TTerminalText::LineTime(std::int64_t index) const
{
    if (index < 0) return std::nullopt;
    return fTimes.At(static_cast<std::uint64_t>(index));
}

std::optional<std::string> TTerminalText::TakeSpillError()
{
    if (auto why = fBytes.TakeSpillError()) return why;
    return fTimes.TakeSpillError();
}

// Every line that has a byte, or its line end, has begun. Called once a call's bytes are in:
// its lines all began at its time.
void TTerminalText::Stamp()
{
    if (!fClock) return;
    const std::uint64_t begun = fNewlines + (fBytes.Size() > fCurrentLineStart ? 1 : 0);
    if (fTimes.Count() < begun) fTimes.Append(fNow, begun - fTimes.Count());
}

void TTerminalText::Put(std::string_view bytes)
{
    while (!bytes.empty()) {
        const std::uint64_t size = fBytes.Size();
        const std::size_t room = IndexStep - static_cast<std::size_t>(size % IndexStep);
        const std::string_view piece = bytes.substr(0, room);
        fNewlines += CountNewlines(piece);
        if (const auto last = piece.rfind('\n'); last != std::string_view::npos)
            fCurrentLineStart = size + last + 1;
        fBytes.Append(piece);
        if (fBytes.Size() % IndexStep == 0) fNewlinesBefore.push_back(fNewlines);
        bytes.remove_prefix(piece.size());
    }
}

void TTerminalText::EndLine()
{
    fCursorBack = 0;
    Put("\n");
}

void TTerminalText::AppendReceived(std::string_view bytes)
{
    if (fClock) fNow = fClock();
    while (!bytes.empty()) {
        if (fCursorBack == 0) {
            // The common case: a run of bytes that are kept as they came.
            const std::size_t run = static_cast<std::size_t>(
                NextTakenApart(bytes.data(), bytes.data() + bytes.size()) - bytes.data());
            if (run > 0) {
                fAfterCr = false;
                Put(bytes.substr(0, run));
                bytes.remove_prefix(run);
                continue;
            }
        }
        const char byte = bytes.front();
        bytes.remove_prefix(1);
        if (byte == '\r') {
            EndLine();
            fAfterCr = true;
            continue;
        }
        if (byte == '\n') {
            if (!fAfterCr) EndLine();
            fAfterCr = false;
            continue;
        }
        fAfterCr = false;
        if (byte == '\b') {
            if (fBytes.Size() - fCursorBack > fCurrentLineStart) ++fCursorBack;
            continue;
        }
        const char kept = byte == ShownLineFeed ? '\x81' : byte;
        if (fCursorBack > 0) {
            fBytes.Overwrite(fBytes.Size() - fCursorBack, kept);
            --fCursorBack;
        } else {
            Put(std::string_view(&kept, 1));
        }
    }
    Stamp();
}

void TTerminalText::AppendText(std::string_view text)
{
    if (fClock) fNow = fClock();
    fCursorBack = 0;
    Put(text);
    Stamp();
}

void TTerminalText::AppendLine(std::string_view text)
{
    if (fClock) fNow = fClock();
    if (LineCount() > 0) EndLine();
    AppendText(text);
}

void TTerminalText::Clear()
{
    Truncate(0);
    fAfterCr = false;
}

void TTerminalText::Truncate(std::uint64_t size)
{
    fBytes.Truncate(size);
    fNewlinesBefore.resize(static_cast<std::size_t>(size / IndexStep) + 1);
    fNewlines = NewlinesBefore(size);
    fCursorBack = 0;
    fCurrentLineStart = LineStart(LineCount() - 1);
    fTimes.Truncate(
        std::min<std::uint64_t>(fTimes.Count(), static_cast<std::uint64_t>(LineCount())));
}

std::uint64_t TTerminalText::NewlinesBefore(std::uint64_t offset) const
{
    const std::size_t step = static_cast<std::size_t>(offset / IndexStep);
    std::uint64_t count = fNewlinesBefore[step];
    fBytes.ForEach(std::uint64_t{step} * IndexStep, offset,
                   [&](std::string_view piece) { count += CountNewlines(piece); });
    return count;
}

std::int64_t TTerminalText::LineCount() const
{
    return Size() == 0 ? 0 : static_cast<std::int64_t>(fNewlines) + 1;
}

std::uint64_t TTerminalText::LineStart(std::int64_t index) const
{
    if (index <= 0) return 0;
    if (index >= LineCount()) return Size();
    // The step holding the index-th '\n', then a scan through at most that step.
    const auto wanted = static_cast<std::uint64_t>(index);
    const auto step = std::upper_bound(fNewlinesBefore.begin(), fNewlinesBefore.end(), wanted - 1) -
                      fNewlinesBefore.begin() - 1;
    std::uint64_t left = wanted - fNewlinesBefore[static_cast<std::size_t>(step)];
    std::uint64_t at = static_cast<std::uint64_t>(step) * IndexStep;
    for (;;) {
        const std::string_view piece = fBytes.Piece(at);
        if (piece.empty()) return Size(); // only if what was read back is not what was written
        for (std::size_t i = 0;;) {
            const void* found = std::memchr(piece.data() + i, '\n', piece.size() - i);
            if (!found) break;
            i = static_cast<std::size_t>(static_cast<const char*>(found) - piece.data()) + 1;
            if (--left == 0) return at + i;
        }
        at += piece.size();
    }
}

std::uint64_t TTerminalText::LineEnd(std::int64_t index) const
{
    return index + 1 < LineCount() ? LineStart(index + 1) - 1 : Size();
}

std::int64_t TTerminalText::LineAt(std::uint64_t offset) const
{
    return static_cast<std::int64_t>(NewlinesBefore(std::min(offset, Size())));
}

std::string TTerminalText::Line(std::int64_t index) const
{
    if (index < 0 || index >= LineCount()) return {};
    const std::uint64_t start = LineStart(index);
    return fBytes.Read(start, LineEnd(index) - start);
}

void TTerminalText::DeleteLine(std::int64_t index)
{
    const std::int64_t count = LineCount();
    if (index < 0 || index >= count) return;
    std::uint64_t from = LineStart(index);
    std::uint64_t to = Size();
    if (index + 1 < count)
        to = LineStart(index + 1); // the line and the line end after it
    else if (index > 0)
        --from; // the last line and the line end before it
    const std::string rest = fBytes.Read(to, Size() - to);
    // The lines after it keep their times.
    std::vector<TLineTime> later;
    for (std::uint64_t line = static_cast<std::uint64_t>(index) + 1; line < fTimes.Count(); ++line)
        later.push_back(*fTimes.At(line));
    Truncate(from);
    fTimes.Truncate(static_cast<std::uint64_t>(index));
    Put(rest);
    for (const TLineTime time : later)
        fTimes.Append(time);
}
