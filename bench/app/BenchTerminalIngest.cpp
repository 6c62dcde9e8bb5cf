// 10 MB of device output at full pseudo-terminal speed into the terminal: time until all of it
// is shown, the longest stall of the event loop meanwhile, and the peak resident memory.
#include "bench/app/BenchWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTextDocument>
#include <QTimer>

#include <cstdio>
#include <thread>

namespace {
constexpr std::size_t TotalBytes = 10'000'000;
constexpr std::size_t LineBytes = 80; // 78 characters + CR LF
} // namespace

int main(int argc, char** argv)
{
    TBenchWindow bench(argc, argv);
    if (!bench.ShowConnected()) return 1;
    QCoreApplication::processEvents();
    const long rssBefore = PeakRssKiB();

    const std::size_t lines = TotalBytes / LineBytes;
    const qsizetype expectedCharacters = static_cast<qsizetype>(lines * (LineBytes - 1));
    QElapsedTimer clock;
    clock.start();
    std::thread writer([&] {
        std::string line(LineBytes - 2, 'x');
        line += "\r\n";
        std::string block;
        for (std::size_t i = 0; i < lines; ++i) {
            std::snprintf(line.data(), 10, "%08zu", i);
            line[8] = ' ';
            block += line;
            if (block.size() >= 64 * 1024 || i + 1 == lines) {
                bench.Device.WriteAll(block);
                block.clear();
            }
        }
    });

    // A 1 ms timer measures how long the event loop went without serving it.
    qint64 lastTick = 0;
    qint64 longestStall = 0;
    qint64 shownAt = -1;
    qint64 stallAt = 0;
    int stallChars = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        if (now - lastTick > longestStall) {
            longestStall = now - lastTick;
            stallAt = now;
            stallChars = static_cast<int>(bench.Form.reTerminal->CharacterCount());
        }
        lastTick = now;
        if (bench.Form.reTerminal->CharacterCount() >= expectedCharacters) {
            shownAt = now;
            bench.App.quit();
        }
    });
    tick.start();
    QTimer::singleShot(300'000, &bench.App, &QCoreApplication::quit);
    bench.App.exec();
    writer.join();

    const long rssPeak = PeakRssKiB();
    QScrollBar* bar = bench.Form.reTerminal->verticalScrollBar();
    const bool followedEnd = bar->value() == bar->maximum();
    const double textMiB = static_cast<double>(lines * LineBytes) / (1024.0 * 1024.0);
    std::printf("Terminal ingest: %zu lines, %.1f MiB of device output\n", lines, textMiB);
    std::printf("| %-34s | %12s |\n", "measure", "value");
    std::printf("|------------------------------------|--------------|\n");
    std::printf("| %-34s | %9.2f s  |\n", "time until all of it is shown",
                shownAt < 0 ? -1.0 : shownAt / 1000.0);
    std::printf("| %-34s | %9lld ms |\n", "longest event-loop stall",
                static_cast<long long>(longestStall));
    std::printf("| %-34s | %9.1f MiB |\n", "peak RSS before the flood", rssBefore / 1024.0);
    std::printf("| %-34s | %9.1f MiB |\n", "peak RSS after", rssPeak / 1024.0);
    std::printf("| %-34s | %9.2f x  |\n", "RSS growth / text size",
                (rssPeak - rssBefore) / 1024.0 / textMiB);
    std::printf("| %-34s | %9lld ms |\n", "  ... ended at", static_cast<long long>(stallAt));
    std::printf("| %-34s | %12d |\n", "  ... with characters shown", stallChars);
    std::printf("| %-34s | %12s |\n", "view still at the end", followedEnd ? "yes" : "no");
    return shownAt < 0 ? 1 : 0;
}
