// The terminal's search over a long session: a word that occurs once, at the start, searched
// backward from the end, in steps as the window makes them (each call given StepTime). Once with
// all of the text in memory, once with the default memory limit, where all but 64 MB is in the
// file (read back through the page cache, as after a session that just wrote it). Beside it, a
// plain std::string search over the same bytes in one piece of memory.
//   tarvel_bench_terminal_TextSearch [MiB]   (default 1024)
#include "terminal/TTerminalText.h"
#include "terminal/TTextSearch.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

using TClock = std::chrono::steady_clock;
constexpr std::string_view Word = "BOOT-7Q3X";
constexpr std::string_view Before = "login: "; // the first line, where Word is

// Device output as a session shows it: numbered records and status lines, no Word in them.
std::string Lines(std::size_t bytes)
{
    std::string text;
    text.reserve(bytes + 128);
    char line[128];
    for (unsigned i = 0; text.size() < bytes; ++i) {
        const int n =
            i % 8 == 7 ? std::snprintf(line, sizeof line, "[%10u] rx ok, temp=%u.%u C, vbat=%umV\n",
                                       i, 20 + i % 17, i % 10, 3000 + i % 700)
                       : std::snprintf(line, sizeof line, "S315%08X%08X%08X%08X%08X%08X%02X\n",
                                       0x00400000 + i * 16, i * 2654435761u, i ^ 0x5A5A5A5Au,
                                       i * 40503u, ~i, i << 3, i & 0xFF);
        text.append(line, static_cast<std::size_t>(n));
    }
    text.resize(bytes);
    return text;
}

struct TRun
{
    double Seconds = 0;
    double LongestCallMs = 0;
    bool Found = false;
};

TRun SearchBackward(const TTerminalText& text, bool matchCase)
{
    TTextSearch search(text.Bytes());
    const std::string pattern = matchCase ? std::string(Word) : "boot-7q3x";
    TRun run;
    const auto start = TClock::now();
    search.Start(pattern, matchCase, TTextSearch::TDirection::Backward, text.Size());
    for (;;) {
        const auto before = TClock::now();
        const auto result = search.Continue(UINT64_MAX, before + TTextSearch::StepTime);
        const auto after = TClock::now();
        run.LongestCallMs = std::max(
            run.LongestCallMs, std::chrono::duration<double, std::milli>(after - before).count());
        if (result.State == TTextSearch::TState::Searching) continue;
        run.Found = result.State == TTextSearch::TState::Found && result.Offset == Before.size();
        break;
    }
    run.Seconds = std::chrono::duration<double>(TClock::now() - start).count();
    return run;
}

void Row(const char* what, double bytes, const TRun& run)
{
    std::printf("| %-44s | %8.3f s | %8.0f MB/s | %9.1f ms | %-5s |\n", what, run.Seconds,
                bytes / run.Seconds / 1e6, run.LongestCallMs, run.Found ? "yes" : "NO");
}

TTerminalText Filled(std::uint64_t memoryLimit, const std::filesystem::path& folder,
                     const std::string& first, const std::string& filler, std::uint64_t total)
{
    TTerminalText text(memoryLimit, [&] { return TSpillFile(folder); });
    text.AppendText(first);
    while (text.Size() < total)
        text.AppendText(std::string_view(filler).substr(
            0,
            static_cast<std::size_t>(std::min<std::uint64_t>(filler.size(), total - text.Size()))));
    return text;
}

} // namespace

int main(int argc, char** argv)
{
    const std::uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1024;
    const std::uint64_t total = mib << 20;
    const std::string filler = Lines(16 << 20);
    const std::string first = std::string(Before) + std::string(Word) + "\n";
    const auto folder = std::filesystem::temp_directory_path() /
                        ("tarvel-bench-search-" + std::to_string(::getpid()));
    const double bytes = static_cast<double>(total);
    double inFile = 0;

    std::printf("Search for a word that occurs once, at the start, backward from the end of "
                "%llu MiB of terminal text\n(steps of %lld ms as the window makes them; the "
                "file is read back through the page cache)\n",
                static_cast<unsigned long long>(mib),
                static_cast<long long>(TTextSearch::StepTime.count()));
    std::printf("| %-44s | %10s | %13s | %12s | %-5s |\n", "search", "time", "speed",
                "longest call", "found");
    std::printf("|----------------------------------------------|------------|---------------|"
                "--------------|-------|\n");
    {
        const TTerminalText text = Filled(total + (64 << 20), folder, first, filler, total);
        Row("TTextSearch, all in memory, match case", bytes, SearchBackward(text, true));
        Row("TTextSearch, all in memory, any case", bytes, SearchBackward(text, false));

        // The same bytes in one string.
        std::string flat = text.Bytes().Read(0, text.Size());
        TRun run;
        auto start = TClock::now();
        run.Found = flat.rfind(Word) == Before.size();
        run.Seconds = std::chrono::duration<double>(TClock::now() - start).count();
        run.LongestCallMs = run.Seconds * 1000;
        Row("std::string::rfind, one piece of memory", bytes, run);
        start = TClock::now();
        run.Found = flat.find(Word, Before.size() + 1) == std::string::npos;
        run.Seconds = std::chrono::duration<double>(TClock::now() - start).count();
        run.LongestCallMs = run.Seconds * 1000;
        Row("std::string::find forward, not there", bytes, run);
    }
    {
        const TTerminalText text =
            Filled(TTerminalText::DefaultMemoryLimit, folder, first, filler, total);
        inFile = static_cast<double>(text.Bytes().BytesInFile());
        Row("TTextSearch, 64 MB limit, match case", bytes, SearchBackward(text, true));
        Row("TTextSearch, 64 MB limit, any case", bytes, SearchBackward(text, false));
    }
    std::printf("(64 MB limit: %.0f MiB of the %.0f MiB were in the file)\n", inFile / (1 << 20),
                bytes / (1 << 20));
    std::filesystem::remove_all(folder);
    return 0;
}
