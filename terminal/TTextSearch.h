#pragma once
// Finds a word in the terminal's text, the part moved to the file included, a bounded amount per
// call: the window searches from its event loop and days of output never stall it. A search goes
// round: forward it carries on from the text's start, backward from its end, until it is back
// where it began. Without case, ASCII letters and the code page 1252 letters (À-Þ, Š, Œ, Ž, Ÿ)
// match their other case; ß and µ have none there.

#include "terminal/TByteStore.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class TTextSearch
{
public:
    enum class TDirection { Forward, Backward };
    enum class TState { Searching, Found, NotFound };
    struct TResult
    {
        TState State = TState::NotFound;
        std::uint64_t Offset = 0; // where the match starts, when found
        bool Wrapped = false;     // found only after going round the end
    };
    using TClock = std::chrono::steady_clock;
    // What one step reads at most: short enough that a deadline is kept to a fraction of a
    // millisecond, long enough that the per-step work does not show.
    static constexpr std::size_t SliceBytes = 128 * 1024;
    // What the window gives one call: well inside the 50 ms its event loop may be held up.
    static constexpr std::chrono::milliseconds StepTime{20};

    explicit TTextSearch(const TByteStore& bytes) : fBytes(bytes) {}

    // Forward: the first match that starts at or after from. Backward: the last one that starts
    // before from. An empty pattern finds nothing.
    void Start(std::string_view pattern, bool matchCase, TDirection direction, std::uint64_t from);
    // Searches on through at most maxBytes (at least one byte) or until the deadline has passed,
    // whichever comes first, and says where it stands. Text cut away meanwhile is not searched.
    TResult Continue(std::uint64_t maxBytes,
                     TClock::time_point deadline = TClock::time_point::max());
    TResult Result() const { return fResult; }
    // The text searched for, as Start was given it.
    const std::string& Pattern() const { return fGivenPattern; }
    bool MatchCase() const { return fMatchCase; }

    // Where every match overlapping [from, to) starts, in order, overlapping matches included:
    // what the visible lines highlight.
    std::vector<std::uint64_t> MatchesWithin(std::uint64_t from, std::uint64_t to) const;

private:
    // One run over [From, To): matches lying wholly inside it.
    struct TLeg
    {
        std::uint64_t From;
        std::uint64_t To;
    };
    bool Step(std::uint64_t most); // true once found
    bool StepForward(std::uint64_t most);
    bool StepBackward(std::uint64_t most);
    std::string_view Prepared(std::string_view piece);
    void Found(std::uint64_t offset);

    const TByteStore& fBytes;
    std::string fGivenPattern;
    std::string fPattern; // folded when case does not matter
    bool fMatchCase = true;
    TDirection fDirection = TDirection::Forward;
    TLeg fLegs[2] = {};
    int fLeg = 0;
    std::uint64_t fAt = 0; // forward: searched [From, fAt); backward: [fAt, To)
    // The searched bytes next to fAt that a match starting on the other side may still need:
    // at most pattern length - 1.
    std::string fCarry;
    std::string fSeam;
    std::string fFolded;
    TResult fResult;
};
