// What keeping each line's time costs the terminal's ingest: device output in pieces as the port
// hands them over, into the text and the raw log as the window keeps them, once without times (a
// plain store for the raw log, no clock for the text) and once with them, rounds taken in turn so
// both see the same machine. All in memory, so the file's disk time does not hide the difference.
//   tarvel_bench_terminal_LineTimesIngest [MiB] [rounds]   (default 64, 5)
#include "terminal/TReceivedLog.h"
#include "terminal/TTerminalText.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using TClock = std::chrono::steady_clock;
constexpr std::size_t PieceBytes = 4096;
constexpr std::uint64_t InMemory = std::uint64_t{1} << 40;

std::string Output(std::size_t bytes, std::size_t lineBytes)
{
    std::string text;
    text.reserve(bytes + 128);
    std::string line(lineBytes - 2, 'x');
    line += "\r\n";
    for (unsigned i = 0; text.size() < bytes; ++i) {
        std::snprintf(line.data(), 10, "%08u", i);
        line[8] = ' ';
        text += line;
    }
    text.resize(bytes);
    return text;
}

TTerminalText::TClock SystemClock()
{
    return [] { return TTerminalText::Now(); };
}

double Ingest(const std::string& output, bool withTimes)
{
    const auto noFile = []() -> TSpillFile { std::abort(); };
    TTerminalText text(InMemory, noFile);
    TByteStore plain(InMemory, noFile);
    TReceivedLog log(InMemory, noFile);
    text.SetClock(withTimes ? SystemClock() : TTerminalText::TClock());
    const std::string_view all(output);
    const auto start = TClock::now();
    for (std::size_t at = 0; at < all.size(); at += PieceBytes) {
        const std::string_view piece = all.substr(at, PieceBytes);
        if (withTimes)
            log.Append(piece, TTerminalText::Now());
        else
            plain.Append(piece);
        text.AppendReceived(piece);
    }
    const double seconds = std::chrono::duration<double>(TClock::now() - start).count();
    if (text.Size() == 0) std::abort(); // keeps the work
    return seconds;
}

} // namespace

int main(int argc, char** argv)
{
    const std::size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 64;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    std::printf("Terminal ingest, %zu MiB in %zu-byte pieces, best of %d rounds each\n", mib,
                PieceBytes, rounds);
    std::printf("| %-28s | %-16s | %-16s | %-6s |\n", "output", "without times", "with times",
                "ratio");
    std::printf(
        "|------------------------------|------------------|------------------|--------|\n");
    for (const std::size_t lineBytes : {std::size_t{80}, std::size_t{20}}) {
        const std::string output = Output(mib << 20, lineBytes);
        double without = 1e9;
        double with = 1e9;
        for (int round = 0; round < rounds; ++round) {
            without = std::min(without, Ingest(output, false));
            with = std::min(with, Ingest(output, true));
        }
        const double mibs = static_cast<double>(mib);
        char name[64];
        std::snprintf(name, sizeof name, "%zu-byte lines", lineBytes);
        std::printf("| %-28s | %7.3f s %4.0f MiB/s | %7.3f s %4.0f MiB/s | %5.2fx |\n", name,
                    without, mibs / without, with, mibs / with, with / without);
    }
    return 0;
}
