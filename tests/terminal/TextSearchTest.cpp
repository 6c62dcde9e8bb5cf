#include "terminal/TTextSearch.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <unistd.h>

namespace {

using TDirection = TTextSearch::TDirection;
using TState = TTextSearch::TState;
constexpr std::uint64_t Unlimited = UINT64_MAX;

// Continues until the search ends; calls counts the calls it took.
TTextSearch::TResult Finish(TTextSearch& search, std::uint64_t budget, int* calls = nullptr,
                            bool pastDeadline = false)
{
    for (int call = 1; call < 50'000'000; ++call) {
        const auto result = pastDeadline ? search.Continue(budget, TTextSearch::TClock::now())
                                         : search.Continue(budget);
        if (result.State != TState::Searching) {
            if (calls) *calls = call;
            return result;
        }
    }
    ADD_FAILURE() << "the search never ends";
    return {};
}

std::optional<std::uint64_t> FoundAt(const TTextSearch::TResult& result)
{
    if (result.State != TState::Found) return std::nullopt;
    return result.Offset;
}

TEST(TextSearch, FindsTheNextOrPreviousMatchAndGoesRound)
{
    const struct
    {
        std::string_view Text;
        std::string_view Pattern;
        bool MatchCase;
        TDirection Direction;
        std::uint64_t From;
        std::optional<std::uint64_t> At;
        bool Wrapped;
    } cases[] = {
        {"one two one", "one", true, TDirection::Forward, 0, 0, false}, // a match at from counts
        {"one two one", "one", true, TDirection::Forward, 1, 8, false},
        {"one two one", "one", true, TDirection::Forward, 9, 0, true},
        {"one two one", "one", true, TDirection::Backward, 11, 8, false},
        {"one two one", "one", true, TDirection::Backward, 8, 0, false}, // one at from does not
        {"one two one", "one", true, TDirection::Backward, 0, 8, true},
        {"one two one", "two", true, TDirection::Backward, 5, 4, false}, // may reach past from
        {"one two one", "two", true, TDirection::Forward, 5, 4, true},
        {"one two one", "one", true, TDirection::Forward, 99, 0, true}, // from past the end
        {"aaa", "aa", true, TDirection::Forward, 1, 1, false},          // overlapping
        {"aaa", "aa", true, TDirection::Backward, 3, 1, false},
        {"Boot OK", "boot", true, TDirection::Forward, 0, std::nullopt, false},
        {"Boot OK", "bOOT", false, TDirection::Forward, 0, 0, false},
        {"Boot OK", "ok", false, TDirection::Backward, 0, 5, true},
        // Code page 1252: ÉTAT ŠŒŽŸ against état šœžÿ; × and ÷ are no pair, nor ß and ÿ.
        {"\xC9TAT \x8A\x8C\x8E\x9F", "\xE9tat \x9A\x9C\x9E\xFF", false, TDirection::Forward, 0, 0,
         false},
        {"\xC9TAT", "\xE9tat", true, TDirection::Forward, 0, std::nullopt, false},
        {"1\xD7"
         "2",
         "1\xF7"
         "2",
         false, TDirection::Forward, 0, std::nullopt, false},
        {"\xDF", "\xFF", false, TDirection::Forward, 0, std::nullopt, false},
        {"[{@`", "{[`@", false, TDirection::Forward, 0, std::nullopt, false}, // beside A-Z
        {"short", "shorter", false, TDirection::Forward, 0, std::nullopt, false},
        {"short", "", true, TDirection::Forward, 0, std::nullopt, false},
        {"", "x", true, TDirection::Backward, 0, std::nullopt, false},
    };
    for (const auto& c : cases) {
        // Budgets of a few bytes make a match straddle the steps in every possible way.
        for (const std::uint64_t budget :
             {std::uint64_t{1}, std::uint64_t{2}, std::uint64_t{5}, Unlimited}) {
            TByteStore store(Unlimited, {});
            store.Append(c.Text);
            TTextSearch search(store);
            search.Start(c.Pattern, c.MatchCase, c.Direction, c.From);
            const auto result = Finish(search, budget);
            SCOPED_TRACE(testing::Message() << '"' << c.Text << "\" / \"" << c.Pattern << "\" from "
                                            << c.From << " budget " << budget);
            EXPECT_EQ(FoundAt(result), c.At);
            EXPECT_EQ(result.Wrapped, c.Wrapped);
        }
    }
}

// The first or last start of pattern in text, as a plain search finds it.
std::optional<std::uint64_t> Expected(std::string text, std::string pattern, bool matchCase,
                                      TDirection direction, std::uint64_t from)
{
    if (pattern.empty() || pattern.size() > text.size()) return std::nullopt;
    if (!matchCase) {
        const auto lower = [](std::string& s) {
            for (char& c : s)
                if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
        };
        lower(text);
        lower(pattern);
    }
    std::vector<std::uint64_t> all;
    for (std::size_t at = text.find(pattern); at != std::string::npos;
         at = text.find(pattern, at + 1))
        all.push_back(at);
    if (all.empty()) return std::nullopt;
    if (direction == TDirection::Forward) {
        for (const std::uint64_t at : all)
            if (at >= from) return at;
        return all.front();
    }
    for (auto at = all.rbegin(); at != all.rend(); ++at)
        if (*at < from) return *at;
    return all.back();
}

TEST(TextSearch, FindsWhatAPlainSearchFindsWhateverTheSteps)
{
    std::mt19937 random(20261210);
    const auto below = [&](std::uint64_t n) {
        return std::uniform_int_distribution<std::uint64_t>(0, n - 1)(random);
    };
    for (int round = 0; round < 400; ++round) {
        std::string text(1 + below(300), ' ');
        for (char& c : text)
            c = "aAbB"[below(4)];
        const std::uint64_t length = 1 + below(7);
        const std::uint64_t at = below(text.size());
        std::string pattern = text.substr(at, length);
        if (below(4) == 0) pattern[0] = 'b'; // sometimes one that may not be there
        const bool matchCase = below(2) == 0;
        const auto direction = below(2) == 0 ? TDirection::Forward : TDirection::Backward;
        const std::uint64_t from = below(text.size() + 1);
        const std::uint64_t budget = 1 + below(9);

        TByteStore store(Unlimited, {});
        store.Append(text);
        TTextSearch search(store);
        search.Start(pattern, matchCase, direction, from);
        EXPECT_EQ(FoundAt(Finish(search, budget)),
                  Expected(text, pattern, matchCase, direction, from))
            << text << " / " << pattern << " from " << from << " budget " << budget
            << (matchCase ? "" : " without case")
            << (direction == TDirection::Forward ? " forward" : " backward");
    }
}

class TextSearchOnDisk : public testing::Test
{
protected:
    void SetUp() override
    {
        fFolder = std::filesystem::path(testing::TempDir()) /
                  ("tarvel-search-" + std::to_string(::getpid()));
        std::filesystem::remove_all(fFolder);
    }
    void TearDown() override { std::filesystem::remove_all(fFolder); }

    std::filesystem::path fFolder;
};

TEST_F(TextSearchOnDisk, MatchesAcrossBlocksAndTheFileAreFoundOneStepAtATime)
{
    constexpr std::uint64_t Block = TByteStore::BlockSize;
    std::string text(5 * Block + 100, '.');
    // At the start, across a block edge in the file, across the edge between the file and
    // memory, at the end.
    const std::uint64_t words[] = {0, Block - 3, 5 * Block - 2, text.size() - 6};
    for (const std::uint64_t at : words)
        text.replace(at, 6, "NeEdLe");
    TByteStore store(0, [&] { return TSpillFile(fFolder); });
    store.Append(text);
    ASSERT_EQ(store.BytesInFile(), 5 * Block);

    constexpr std::size_t Count = std::size(words);
    for (const bool matchCase : {true, false}) {
        TTextSearch search(store);
        const std::string_view pattern = matchCase ? "NeEdLe" : "needLE";
        for (std::size_t i = 0; i < Count; ++i) {
            SCOPED_TRACE(testing::Message() << "word " << i << (matchCase ? "" : " without case"));
            const std::uint64_t next = words[(i + 1) % Count];
            search.Start(pattern, matchCase, TDirection::Forward, words[i] + 1);
            int calls = 0;
            // A deadline already passed lets each call take one slice.
            auto result = Finish(search, Unlimited, &calls, true);
            EXPECT_EQ(FoundAt(result), next);
            EXPECT_EQ(result.Wrapped, i + 1 == Count);
            const std::uint64_t ahead = (next + text.size() - words[i]) % text.size();
            EXPECT_GE(static_cast<std::uint64_t>(calls), ahead / TTextSearch::SliceBytes);

            const std::uint64_t previous = words[(i + Count - 1) % Count];
            search.Start(pattern, matchCase, TDirection::Backward, words[i]);
            result = Finish(search, 4096, &calls);
            EXPECT_EQ(FoundAt(result), previous);
            EXPECT_EQ(result.Wrapped, i == 0);
            const std::uint64_t back = (words[i] + text.size() - previous) % text.size();
            EXPECT_GE(static_cast<std::uint64_t>(calls), back / 4096);
        }
        // The visible lines' highlights: matches reaching into the range count.
        EXPECT_EQ(search.MatchesWithin(Block - 10, Block + 10), std::vector{Block - 3});
        EXPECT_EQ(search.MatchesWithin(Block + 2, Block + 3), std::vector{Block - 3});
        EXPECT_EQ(search.MatchesWithin(Block + 3, 5 * Block - 2), std::vector<std::uint64_t>{});
        EXPECT_EQ(search.MatchesWithin(0, text.size()),
                  std::vector<std::uint64_t>(std::begin(words), std::end(words)));
    }
}

TEST(TextSearch, TextCutAwayDuringTheSearchIsNotRead)
{
    for (const auto direction : {TDirection::Forward, TDirection::Backward}) {
        TByteStore store(Unlimited, {});
        store.Append(std::string(3 * TByteStore::BlockSize, 'x') + "needle");
        TTextSearch search(store);
        search.Start("needle", true, direction, 2 * TByteStore::BlockSize);
        ASSERT_EQ(search.Continue(1000).State, TState::Searching);
        store.Truncate(TByteStore::BlockSize);
        EXPECT_EQ(Finish(search, 1000).State, TState::NotFound);
        store.Append("needle"); // after the search has ended
        EXPECT_EQ(search.Continue(Unlimited).State, TState::NotFound);
    }
}

} // namespace
