#pragma once
// The time each line of the terminal began, kept the way the text is: in a TByteStore, whose
// fixed blocks past a memory limit move to a nameless spill file. A session of days holds
// millions of lines, and times kept in a growing vector would be the one part of the terminal
// whose memory had no bound.
//
// The lines of one arrival share its time, so times are kept as runs of 8-byte records: a time
// record begins a run with one line, and a count record after it adds lines of the same time.
// A record never stands for less than a line, so the times take at most 8 bytes a line, and a
// chunk of device output costs two records however many lines it brings: writing a time per
// line was most of what keeping them cost the ingest. Records go to the store in groups of a
// fixed size, each beginning with a time record; the first line of every group is kept, so a
// line's time costs a scan of one group (and for the next line, which the gutter and a saved
// log ask for, a step on from the last answer).

#include "terminal/TByteStore.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

using TLineTime = std::chrono::time_point<std::chrono::system_clock, std::chrono::microseconds>;

class TLineTimes
{
public:
    TLineTimes(std::uint64_t memoryLimit, TByteStore::TFileMaker makeFile);

    std::uint64_t Count() const { return fFlushedLines + fTailLines; }
    // count more lines that began at time. Times before the year -144,000 or so are kept as that.
    void Append(TLineTime time, std::uint64_t count = 1)
    {
        if (count > 0 && fTailCount > 0 && Record(time) == fLastTime &&
            IsCount(fTail[fTailCount - 1])) {
            fTail[fTailCount - 1] += static_cast<TRecord>(count);
            fTailLines += count;
            return;
        }
        AppendRuns(time, count);
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
    // A time record is the time's count of microseconds, at least TimeFloor; a count record,
    // below it, adds (record - CountBase) lines to the run before it.
    using TRecord = TLineTime::rep;
    static constexpr TRecord CountBase = std::numeric_limits<TRecord>::min();
    static constexpr TRecord TimeFloor = CountBase / 2;
    // The first lines of the groups stay in memory: 8 bytes per group, at most 1/256 of the
    // times; a line looked up out of order costs a scan of up to a group.
    static constexpr std::size_t GroupRecords = 2048;
    static constexpr std::size_t GroupBytes = GroupRecords * sizeof(TRecord);
    static_assert(sizeof(TRecord) == 8 && TByteStore::BlockSize % GroupBytes == 0,
                  "a group never straddles two blocks");

    static bool IsCount(TRecord record) { return record < TimeFloor; }
    static TRecord Record(TLineTime time)
    {
        const TRecord count = time.time_since_epoch().count();
        return count < TimeFloor ? TimeFloor : count;
    }
    static std::uint64_t Lines(TRecord record)
    {
        return IsCount(record) ? static_cast<std::uint64_t>(record - CountBase) : 1;
    }

    void AppendRuns(TLineTime time, std::uint64_t count);
    void Flush();
    // Cuts the tail after its first `lines` lines.
    void CutTail(std::uint64_t lines);

    TByteStore fStore;
    std::vector<std::uint64_t> fGroupLines;  // the first line of each group in fStore
    std::uint64_t fFlushedLines = 0;         // lines of the groups in fStore
    std::array<TRecord, GroupRecords> fTail; // the group being filled
    std::size_t fTailCount = 0;
    std::uint64_t fTailLines = 0;
    TRecord fLastTime = 0; // of the tail's last run, when it has one

    // Where the last answer was found: record Index of group Group covers lines from Line on,
    // and its run began at Time.
    struct THint
    {
        std::size_t Group = SIZE_MAX;
        std::size_t Index = 0;
        std::uint64_t Line = 0;
        TRecord Time = 0;
    };
    mutable THint fHint;
};
