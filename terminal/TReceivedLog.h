#pragma once
// The bytes received since the last clear, exactly as they came (what "Save log…" writes), and
// the time each of their lines began. Lines end as the terminal ends them (CR LF, LF, CR; the LF
// of a CR LF split across calls belongs to the line before), so a saved log's lines and their
// times are the terminal's received lines, whatever the pane showed meanwhile.

#include "terminal/TByteStore.h"
#include "terminal/TLineTimes.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class TReceivedLog
{
public:
    TReceivedLog(std::uint64_t memoryLimit, const TByteStore::TFileMaker& makeFile);

    void Append(std::string_view bytes, TLineTime now);
    void Clear();

    // Where line `line` begins (its first byte), or the end for a line not begun.
    std::uint64_t LineStart(std::uint64_t line) const;
    // The line byte `offset` belongs to (the LF of a CR LF to the CR's line); 0 when empty.
    std::uint64_t LineAt(std::uint64_t offset) const;
    // Bytes between two entries of the line index.
    static constexpr std::uint64_t IndexStep = 64 * 1024;

    const TByteStore& Bytes() const { return fBytes; }
    const TLineTimes& Times() const { return fTimes; }
    std::optional<std::string> TakeSpillError();

    // Calls take with every byte in order, and before each line's first byte with
    // prefix(that line's time, the time of the line before it, if any).
    void ForEachStamped(
        const std::function<std::string(std::optional<TLineTime> previous, TLineTime time)>& prefix,
        const std::function<void(std::string_view)>& take) const;

private:
    // Where lines begin, byte by byte.
    struct TLineState
    {
        bool Open = false;
        bool AfterCr = false;
        // Whether byte begins a line; then takes it.
        bool Begins(char byte)
        {
            const bool swallowed = byte == '\n' && AfterCr;
            const bool begins = !Open && !swallowed;
            Open = (Open || begins) && byte != '\r' && byte != '\n';
            AfterCr = byte == '\r';
            return begins;
        }
        // The bytes from the start of piece that begin no line and end none.
        std::size_t Inside(std::string_view piece) const;
    };

    struct TIndexEntry
    {
        std::uint64_t LinesBefore;
        TLineState State;
    };
    void AppendPiece(std::string_view bytes, TLineTime now);
    // Calls take(offset, begins) for each byte from the index entry at or before from on,
    // until it returns false.
    template <typename TTake> void Scan(std::uint64_t from, TTake take) const;

    TByteStore fBytes;
    TLineTimes fTimes;
    TLineState fState;
    // Lines begun before each IndexStep of bytes, and the line state there: finding a line costs
    // a scan of one step whatever the length of the log.
    std::vector<TIndexEntry> fIndex{TIndexEntry{0, {}}};
};
