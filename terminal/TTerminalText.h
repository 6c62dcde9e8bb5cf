#pragma once
// The terminal's text: what the pane shows, one byte per character (decoded only when painted),
// lines separated by '\n', with a line index of one count per 64 KiB, so finding a line costs
// the same however much is held. Received bytes are taken as the terminal shows them:
//  - CR LF, LF and CR each end a line; a CR that ends one chunk and an LF that starts the next
//    are still one line end;
//  - BS moves back over the last character of the current line; what follows overwrites from
//    there (a spinner turns in place);
//  - every other byte is kept as it came, except 0x8D, which the code page leaves unassigned like
//    0x81 and is kept as 0x81: the byte 0x8D stands for a line feed shown as a character (a
//    line of the transfer's display may show the line ends of an answer).
// Each line keeps the time it began (TLineTimes): that of the call that brought its first byte or
// its line end, whichever came first; the LF of a CR LF split across calls belongs to the line
// before. Lines the terminal adds itself take the time they were added.

#include "terminal/TByteStore.h"
#include "terminal/TLineTimes.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class TTerminalText
{
public:
    static constexpr char ShownLineFeed = '\x8D';
    static constexpr std::size_t IndexStep = 64 * 1024;
    static constexpr std::uint64_t DefaultMemoryLimit = 64ull << 20;
    // What stamps the lines; an empty one keeps no times.
    using TClock = std::function<TLineTime()>;

    explicit TTerminalText(std::uint64_t memoryLimit = DefaultMemoryLimit,
                           TByteStore::TFileMaker makeFile = DefaultFile);

    // The clock is asked once per call that adds bytes.
    void SetClock(TClock clock);
    static TLineTime Now();

    void AppendReceived(std::string_view bytes);
    // Text the terminal itself shows: '\n' separates lines, every other byte is one character.
    void AppendText(std::string_view text);
    // text as a line of its own after what is there (the first line of an empty text).
    void AppendLine(std::string_view text);
    void DeleteLine(std::int64_t index); // does nothing for an index out of range
    // Empties the text and forgets the line state: an LF after a CR that came before is a line
    // end of its own.
    void Clear();

    std::uint64_t Size() const { return fBytes.Size(); }
    // Received bytes change nothing before it (a backspace goes no further back).
    std::uint64_t CurrentLineStart() const { return fCurrentLineStart; }
    std::int64_t LineCount() const; // an empty text has no lines
    std::uint64_t LineStart(std::int64_t index) const;
    std::uint64_t LineEnd(std::int64_t index) const; // where its '\n' is, or the end
    std::int64_t LineAt(std::uint64_t offset) const;
    std::string Line(std::int64_t index) const;
    // When line index began; nullopt for a line not begun yet (the empty one after a line end)
    // and without a clock.
    std::optional<TLineTime> LineTime(std::int64_t index) const;
    const TByteStore& Bytes() const { return fBytes; }
    const TLineTimes& Times() const { return fTimes; }
    std::optional<std::string> TakeSpillError();

    static TSpillFile DefaultFile() { return TSpillFile(TSpillFile::DefaultFolder()); }

private:
    void Put(std::string_view bytes);
    void Stamp();
    void EndLine();
    void Truncate(std::uint64_t size);
    std::uint64_t NewlinesBefore(std::uint64_t offset) const;

    TByteStore fBytes;
    TLineTimes fTimes;
    TClock fClock = Now;
    TLineTime fNow;
    std::vector<std::uint64_t> fNewlinesBefore{0}; // '\n's before each IndexStep
    std::uint64_t fNewlines = 0;
    std::uint64_t fCurrentLineStart = 0;
    std::uint64_t fCursorBack = 0; // characters between where the next one goes and the end
    bool fAfterCr = false;
};
