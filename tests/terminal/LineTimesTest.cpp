#include "terminal/LineTimeText.h"
#include "terminal/TReceivedLog.h"
#include "terminal/TTerminalText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;

TLineTime At(std::int64_t milliseconds)
{
    return TLineTime(std::chrono::milliseconds(milliseconds));
}

using TTimes = std::vector<std::optional<std::int64_t>>; // per line, in ms; nullopt: not begun

TTimes TextTimes(const TTerminalText& text)
{
    TTimes times;
    for (std::int64_t i = 0; i < text.LineCount(); ++i) {
        const auto time = text.LineTime(i);
        times.push_back(time ? std::optional(std::chrono::floor<std::chrono::milliseconds>(*time)
                                                 .time_since_epoch()
                                                 .count())
                             : std::nullopt);
    }
    return times;
}

// The saved log with each line's time before it as "<ms>|".
std::string StampedLog(const TReceivedLog& log)
{
    std::string saved;
    log.ForEachStamped(
        [](std::optional<TLineTime>, TLineTime time) {
            return std::to_string(std::chrono::floor<std::chrono::milliseconds>(time)
                                      .time_since_epoch()
                                      .count()) +
                   "|";
        },
        [&](std::string_view piece) { saved.append(piece); });
    return saved;
}

// TZ set, or removed for nothing.
void SetZone(const std::optional<std::string>& zone)
{
#ifdef _WIN32
    ::_putenv_s("TZ", zone ? zone->c_str() : "");
    ::_tzset();
#else
    if (zone)
        ::setenv("TZ", zone->c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
#endif
}

// Chunk i arrives at time 10 * (i + 1) ms.
TEST(LineTimes, EachLineKeepsTheTimeItsFirstByteCame)
{
    const struct
    {
        std::vector<std::string_view> Chunks;
        TTimes Text;       // the terminal's lines
        std::string Saved; // the raw log, stamped
    } cases[] = {
        {{"ab", "c\r\nd"}, {10, 20}, "10|abc\r\n20|d"},        // a line finished later
        {{"a\r", "\nb"}, {10, 20}, "10|a\r\n20|b"},            // CR LF split: the LF is no line
        {{"a\n", "\r", "b"}, {10, 20, 30}, "10|a\n20|\r30|b"}, // LF then CR: an empty line
        {{"a\r\n"}, {10, std::nullopt}, "10|a\r\n"},           // the next line has not begun
        {{"a\rb\nc", "d"}, {10, 10, 10}, "10|a\r10|b\n10|cd"},
        {{"spin |", "\b/", "\b-\r\n"}, {10, std::nullopt}, "10|spin |\b/\b-\r\n"}, // in place
        {{"x\r\n", "\b\by"}, {10, 20}, "10|x\r\n20|\b\by"},
        {{"", "\r\n", "\r\n"}, {20, 30, std::nullopt}, "20|\r\n30|\r\n"},
    };
    for (const auto& c : cases) {
        TTerminalText text;
        TReceivedLog log(0, TTerminalText::DefaultFile);
        std::int64_t now = 0;
        text.SetClock([&] { return At(now); });
        for (std::string_view chunk : c.Chunks) {
            now += 10;
            text.AppendReceived(chunk);
            log.Append(chunk, At(now));
        }
        EXPECT_EQ(TextTimes(text), c.Text) << c.Saved;
        EXPECT_EQ(StampedLog(log), c.Saved);
    }
}

TEST(LineTimes, ClearAndDeletedLinesKeepTimesWithTheirLines)
{
    TTerminalText text;
    std::int64_t now = 0;
    text.SetClock([&] { return At(now); });
    for (std::string_view line : {"a\r\n", "b\r\n", "c\r\n", "d"}) {
        now += 10;
        text.AppendReceived(line);
    }
    text.DeleteLine(1);
    EXPECT_EQ(TextTimes(text), (TTimes{10, 30, 40}));
    text.DeleteLine(2);
    EXPECT_EQ(TextTimes(text), (TTimes{10, 30}));
    now = 50;
    text.AppendLine("Send file"); // the terminal's own line: when it was added
    EXPECT_EQ(TextTimes(text), (TTimes{10, 30, 50}));

    text.AppendReceived("\r");
    text.Clear();
    now = 60;
    text.AppendReceived("\nz"); // no CR before it any more: a line end of its own
    EXPECT_EQ(TextTimes(text), (TTimes{60, 60}));

    text.SetClock({});
    EXPECT_EQ(TextTimes(text), (TTimes{std::nullopt, std::nullopt}));
}

TEST(LineTimes, TimesMovedToTheFileReadBack)
{
    const std::filesystem::path folder =
        std::filesystem::path(testing::TempDir()) / ("tarvel-times-" + std::to_string(::getpid()));
    std::filesystem::remove_all(folder);
    {
        const auto file = [&] { return TSpillFile(folder); };
        TTerminalText text(0, file);
        TReceivedLog log(0, file);
        std::int64_t now = 0;
        text.SetClock([&] { return At(now); });
        // Three blocks of times; the time of line i is i ms, its text "i".
        constexpr int Count = 3 * static_cast<int>(TByteStore::BlockSize / 8) + 77;
        for (int i = 0; i < Count; ++i) {
            now = i;
            const std::string line = std::to_string(i) + (i % 3 == 0 ? "\r" : "\n");
            text.AppendReceived(line);
            log.Append(line, At(now));
        }
        EXPECT_GE(text.Times().BytesInFile(), 2 * TByteStore::BlockSize);
        EXPECT_GE(log.Times().BytesInFile(), 2 * TByteStore::BlockSize);
        EXPECT_LE(text.Times().BytesInMemory(), TByteStore::BlockSize);
        for (const int i : {0, 1, 131'071, 131'072, 200'001, Count - 1}) {
            EXPECT_EQ(text.Line(i), std::to_string(i));
            EXPECT_EQ(text.LineTime(i), At(i)) << i;
            EXPECT_EQ(log.Times().At(static_cast<std::uint64_t>(i)), At(i)) << i;
        }
        // A line deleted from what is in the file: the times after it move up with their lines.
        text.DeleteLine(100'000);
        EXPECT_EQ(text.Line(100'000), "100001");
        EXPECT_EQ(text.LineTime(100'000), At(100'001));
        EXPECT_EQ(text.LineTime(99'999), At(99'999));
        EXPECT_EQ(text.LineTime(Count - 2), At(Count - 1));
        EXPECT_EQ(text.LineTime(Count - 1), std::nullopt);
        now = 1'000'000;
        text.AppendReceived("next");
        EXPECT_EQ(text.LineTime(Count - 1), At(now));
        EXPECT_FALSE(text.TakeSpillError().has_value());
    }
    EXPECT_TRUE(std::filesystem::is_empty(folder));
    std::filesystem::remove_all(folder);
}

TEST(LineTimes, WrittenAsLocalClockOrTimeSinceTheLineBefore)
{
    const char* zone = std::getenv("TZ");
    const std::optional<std::string> saved = zone ? std::optional<std::string>(zone) : std::nullopt;
    SetZone("CET-1"); // UTC+1 without summer time
    // 2024-01-02 03:04:05.678 UTC, and a microsecond short of the next millisecond.
    const TLineTime time = At(1'704'164'645'678) + 999us;
    EXPECT_EQ(ClockText(time), "04:04:05.678");
    EXPECT_EQ(ClockText(At(-1)), "00:59:59.999"); // before 1970, still 0-999 ms
    EXPECT_EQ(LineTimeText(false, std::nullopt, time), "04:04:05.678");
    SetZone(saved);

    const struct
    {
        std::optional<TLineTime> Previous;
        TLineTime Time;
        std::string Text;
    } cases[] = {
        {std::nullopt, At(5000), "      +0.000"},
        {At(1000), At(1000), "      +0.000"},
        {At(1000) + 999us, At(1001), "      +0.001"}, // cut to ms before the difference
        {At(1000), At(62'345), "     +61.345"},
        {At(5000), At(4000), "      -1.000"}, // the clock was set back
        {At(0), At(123'456'789'012), "+123456789.012"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LineTimeText(true, c.Previous, c.Time), c.Text);
    EXPECT_EQ(LineTimeText(true, At(0), std::nullopt), std::string(12, ' '));
}

} // namespace

namespace {

// The raw log's lines are found again from their bytes, across the steps of its index: a line
// longer than a step, and a CR LF split by a step's end.
TEST(ReceivedLog, LinesAreFoundByNumberAndByOffset)
{
    TReceivedLog log(0, TTerminalText::DefaultFile);
    std::vector<std::uint64_t> starts;
    const auto add = [&](const std::string& line) {
        starts.push_back(log.Bytes().Size());
        log.Append(line, At(0));
    };
    add(std::string(TReceivedLog::IndexStep - 1, 'a') + "\r"); // its CR ends the first step
    add("\nb\r");       // no: the LF belongs to the line before
    starts.back() += 1; // the line begins at "b"
    add(std::string(3 * TReceivedLog::IndexStep, 'c') + "\n");
    add("\n");
    add("d");
    ASSERT_EQ(log.Times().Count(), starts.size());
    for (std::uint64_t line = 0; line < starts.size(); ++line) {
        EXPECT_EQ(log.LineStart(line), starts[line]) << line;
        EXPECT_EQ(log.LineAt(starts[line]), line) << line;
        if (line > 0) {
            EXPECT_EQ(log.LineAt(starts[line] - 1), line - 1) << line;
        }
    }
    EXPECT_EQ(log.LineStart(starts.size()), log.Bytes().Size());
    EXPECT_EQ(log.LineAt(TReceivedLog::IndexStep), 0u); // the LF after the first CR
}

// A line end is found wherever it falls among the bytes, and other control bytes end no line.
TEST(ReceivedLog, EveryLineEndIsFound)
{
    for (const std::string_view end : {"\r", "\n", "\r\n"}) {
        for (const char filler : {'x', '\t', '\x0c'}) {
            TReceivedLog log(0, TTerminalText::DefaultFile);
            std::string bytes;
            std::vector<std::uint64_t> starts;
            for (std::size_t length = 1; length < 40; ++length) {
                starts.push_back(bytes.size());
                bytes += std::string(length, filler);
                bytes += end;
            }
            log.Append(bytes, At(0));
            ASSERT_EQ(log.Times().Count(), starts.size()) << int{filler} << end.size();
            for (std::uint64_t line = 0; line < starts.size(); ++line)
                EXPECT_EQ(log.LineStart(line), starts[line]) << line;
        }
    }
}

} // namespace

namespace {

// The lines of one arrival are kept together: runs that go on across calls, cut anywhere by a
// delete or a clear, over several groups of records and blocks of the file, still give every
// line its own time, read in order or not.
TEST(LineTimes, RunsOfLinesCutAndReadBack)
{
    TLineTimes times(0, TTerminalText::DefaultFile);
    std::vector<TLineTime> lines;
    const auto add = [&](std::int64_t milliseconds, std::uint64_t count) {
        times.Append(At(milliseconds), count);
        lines.insert(lines.end(), count, At(milliseconds));
    };
    // Ends on the last line, which the next check asks for first.
    const auto check = [&] {
        ASSERT_EQ(times.Count(), lines.size());
        EXPECT_EQ(times.At(lines.size()), std::nullopt);
        for (std::size_t i = lines.size(); i > 0; i -= std::min<std::size_t>(i, 97))
            ASSERT_EQ(times.At(i - 1), lines[i - 1]) << i - 1;
        for (std::size_t i = 0; i < lines.size(); ++i)
            ASSERT_EQ(times.At(i), lines[i]) << i;
    };
    // Runs of 0 to 4 lines; every seventh goes on with the time of the one before.
    for (std::int64_t i = 1; i < 400'000; ++i)
        add(i % 7 == 0 ? i - 1 : i, static_cast<std::uint64_t>(i % 5));
    ASSERT_GE(times.BytesInFile(), 3 * TByteStore::BlockSize); // and read back
    check();
    for (const double kept : {0.99999, 0.5, 0.25, 0.0}) {
        auto count = static_cast<std::size_t>(static_cast<double>(lines.size()) * kept);
        while (count > 0 && lines[count] != lines[count - 1]) // a cut inside a run
            ++count;
        const std::int64_t last =
            count > 0 ? std::chrono::floor<std::chrono::milliseconds>(lines[count - 1])
                            .time_since_epoch()
                            .count()
                      : 0;
        times.Truncate(count);
        lines.resize(count);
        add(last, 3); // the cut run goes on
        add(-5, 2);
        add(-4, 1);
        add(-3, 20); // past where the lines cut away ended
        check();
    }
    EXPECT_FALSE(times.TakeSpillError().has_value());
}

} // namespace
