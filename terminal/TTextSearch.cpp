#include "terminal/TTextSearch.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <string_view>

namespace {

// Each byte's lower case in code page 1252.
constexpr std::array<unsigned char, 256> LowerCase = [] {
    std::array<unsigned char, 256> lower{};
    for (int c = 0; c < 256; ++c)
        lower[c] = static_cast<unsigned char>(c);
    for (int c = 'A'; c <= 'Z'; ++c)
        lower[c] = static_cast<unsigned char>(c + 0x20);
    for (int c = 0xC0; c <= 0xDE; ++c)
        if (c != 0xD7) lower[c] = static_cast<unsigned char>(c + 0x20); // not ×
    lower[0x8A] = 0x9A;                                                 // Š
    lower[0x8C] = 0x9C;                                                 // Œ
    lower[0x8E] = 0x9E;                                                 // Ž
    lower[0x9F] = 0xFF;                                                 // Ÿ
    return lower;
}();

void Fold(std::string_view from, char* to)
{
    for (std::size_t i = 0; i < from.size(); ++i)
        to[i] = static_cast<char>(LowerCase[static_cast<unsigned char>(from[i])]);
}

// The first match in hay.
std::optional<std::size_t> First(std::string_view hay, std::string_view pattern)
{
#ifdef _WIN32
    // Its C library has no memmem.
    const std::size_t found = hay.find(pattern);
    if (found == std::string_view::npos) return std::nullopt;
    return found;
#else
    const void* found = ::memmem(hay.data(), hay.size(), pattern.data(), pattern.size());
    if (!found) return std::nullopt;
    return static_cast<std::size_t>(static_cast<const char*>(found) - hay.data());
#endif
}

// The last match in hay. The piece is searched forwards: it costs the same as one search, and
// memmem is faster than any backward scan written here.
std::optional<std::size_t> Last(std::string_view hay, std::string_view pattern)
{
    std::optional<std::size_t> last;
    for (std::size_t from = 0;;) {
        const auto found = First(hay.substr(from), pattern);
        if (!found) return last;
        last = from + *found;
        from = *last + 1;
    }
}

} // namespace

void TTextSearch::Start(std::string_view pattern, bool matchCase, TDirection direction,
                        std::uint64_t from)
{
    fGivenPattern = pattern;
    fPattern = pattern;
    fMatchCase = matchCase;
    if (!matchCase) Fold(fPattern, fPattern.data());
    fDirection = direction;
    const std::uint64_t size = fBytes.Size();
    from = std::min(from, size);
    // Before from: matches starting there, which may reach pattern length - 1 past it.
    const TLeg before{0, std::min(size, from + std::max<std::size_t>(pattern.size(), 1) - 1)};
    const TLeg after{from, size};
    fLegs[0] = direction == TDirection::Forward ? after : before;
    fLegs[1] = direction == TDirection::Forward ? before : after;
    fLeg = 0;
    fAt = direction == TDirection::Forward ? fLegs[0].From : fLegs[0].To;
    fCarry.clear();
    fResult = {pattern.empty() ? TState::NotFound : TState::Searching, 0, false};
}

TTextSearch::TResult TTextSearch::Continue(std::uint64_t maxBytes, TClock::time_point deadline)
{
    maxBytes = std::max<std::uint64_t>(maxBytes, 1);
    for (std::uint64_t searched = 0; fResult.State == TState::Searching;) {
        TLeg& leg = fLegs[fLeg];
        // The text may have been cut since the last call.
        const std::uint64_t size = fBytes.Size();
        leg.To = std::min(leg.To, size);
        leg.From = std::min(leg.From, leg.To);
        if (fAt > leg.To || fAt < leg.From) {
            fAt = std::clamp(fAt, leg.From, leg.To);
            fCarry.clear();
        }
        const bool legDone = fDirection == TDirection::Forward ? fAt >= leg.To : fAt <= leg.From;
        if (legDone) {
            if (fLeg == 1) {
                fResult.State = TState::NotFound;
                break;
            }
            fLeg = 1;
            fAt = fDirection == TDirection::Forward ? fLegs[1].From : fLegs[1].To;
            fCarry.clear();
            continue;
        }
        if (searched >= maxBytes || (searched > 0 && TClock::now() >= deadline)) break;
        const std::uint64_t before = fAt;
        if (Step(maxBytes - searched)) break;
        searched += fAt > before ? fAt - before : before - fAt;
    }
    return fResult;
}

bool TTextSearch::Step(std::uint64_t most)
{
    most = std::min<std::uint64_t>(most, SliceBytes);
    return fDirection == TDirection::Forward ? StepForward(most) : StepBackward(most);
}

std::string_view TTextSearch::Prepared(std::string_view piece)
{
    if (fMatchCase) return piece;
    if (fFolded.size() < piece.size()) fFolded.resize(std::max(piece.size(), SliceBytes));
    Fold(piece, fFolded.data());
    return {fFolded.data(), piece.size()};
}

void TTextSearch::Found(std::uint64_t offset)
{
    fResult = {TState::Found, offset, fLeg == 1};
}

bool TTextSearch::StepForward(std::uint64_t most)
{
    const std::size_t keep = fPattern.size() - 1;
    const std::string_view piece =
        fBytes.Piece(fAt).substr(0, static_cast<std::size_t>(std::min(most, fLegs[fLeg].To - fAt)));
    const std::string_view hay = Prepared(piece);
    // Matches that begin in what was searched before and end in this piece come first.
    if (!fCarry.empty()) {
        fSeam.assign(fCarry).append(hay.substr(0, keep));
        if (const auto at = First(fSeam, fPattern)) {
            Found(fAt - fCarry.size() + *at);
            return true;
        }
    }
    if (const auto at = First(hay, fPattern)) {
        Found(fAt + *at);
        return true;
    }
    fCarry.append(hay.substr(hay.size() - std::min(hay.size(), keep)));
    fCarry.erase(0, fCarry.size() - std::min(fCarry.size(), keep));
    fAt += piece.size();
    return false;
}

bool TTextSearch::StepBackward(std::uint64_t most)
{
    const std::size_t keep = fPattern.size() - 1;
    // The piece ending at fAt lies in one block of the store.
    const std::uint64_t blockStart = (fAt - 1) / TByteStore::BlockSize * TByteStore::BlockSize;
    const std::uint64_t start = std::max({fLegs[fLeg].From, blockStart, fAt - std::min(fAt, most)});
    const std::string_view piece =
        fBytes.Piece(start).substr(0, static_cast<std::size_t>(fAt - start));
    const std::string_view hay = Prepared(piece);
    // Matches that begin in this piece and end in what was searched before lie further on.
    if (!fCarry.empty()) {
        const std::string_view tail = hay.substr(hay.size() - std::min(hay.size(), keep));
        fSeam.assign(tail).append(fCarry);
        if (const auto at = Last(fSeam, fPattern)) {
            Found(fAt - tail.size() + *at);
            return true;
        }
    }
    if (const auto at = Last(hay, fPattern)) {
        Found(start + *at);
        return true;
    }
    fCarry.insert(0, hay.substr(0, keep));
    fCarry.resize(std::min(fCarry.size(), keep));
    fAt = start;
    return false;
}

std::vector<std::uint64_t> TTextSearch::MatchesWithin(std::uint64_t from, std::uint64_t to) const
{
    std::vector<std::uint64_t> starts;
    if (fPattern.empty() || from >= to) return starts;
    const std::size_t keep = fPattern.size() - 1;
    const std::uint64_t first = from - std::min<std::uint64_t>(from, keep);
    std::string hay = fBytes.Read(first, to + keep - first);
    if (!fMatchCase) Fold(hay, hay.data());
    for (std::size_t at = 0;;) {
        const auto found = First(std::string_view(hay).substr(at), fPattern);
        if (!found) break;
        starts.push_back(first + at + *found);
        at += *found + 1;
    }
    return starts;
}
