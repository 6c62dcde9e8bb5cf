#pragma once
// The time each line of the terminal began, one 8-byte count of microseconds per line, kept the
// way the text is: in a TByteStore, whose fixed blocks past a memory limit move to a nameless
// spill file. A session of days holds millions of lines, and times kept in a growing vector
// would be the one part of the terminal whose memory had no bound. A line's time is read back
// from the file like its text; the last few are kept in a small array, so appending one costs a
// store, not a call into the byte store per line.

#include "terminal/TByteStore.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

using TLineTime = std::chrono::time_point<std::chrono::system_clock, std::chrono::microseconds>;

class TLineTimes
{
public:
    TLineTimes(std::uint64_t memoryLimit, TByteStore::TFileMaker makeFile);

    std::uint64_t Count() const { return fFlushed + fTailCount; }
    void Append(TLineTime time)
    {
        if (fTailCount == fTail.size()) Flush();
        fTail[fTailCount++] = time.time_since_epoch().count();
    }
    // The time of line `line`; nullopt for one not yet begun.
    std::optional<TLineTime> At(std::uint64_t line) const;
    // Keeps the first count times.
    void Truncate(std::uint64_t count);
    void Clear() { Truncate(0); }

    std::uint64_t BytesInMemory() const { return fStore.BytesInMemory(); }
    std::uint64_t BytesInFile() const { return fStore.BytesInFile(); }
    std::optional<std::string> TakeSpillError() { return fStore.TakeSpillError(); }

private:
    using TCount = TLineTime::rep;
    static_assert(sizeof(TCount) == 8 && TByteStore::BlockSize % sizeof(TCount) == 0,
                  "a time never straddles two blocks");
    void Flush();

    TByteStore fStore;
    std::uint64_t fFlushed = 0; // times in fStore
    std::array<TCount, 512> fTail;
    std::size_t fTailCount = 0;
};
