// Device output arriving in small pieces at serial-line speed (115200 baud, about 11.5 KB/s):
// the CPU the window spends showing it, and how many pieces it handled.
#include "bench/app/BenchWindow.h"

#include <QApplication>
#include <QEventLoop>
#include <QTextDocument>
#include <QTimer>

#include <atomic>
#include <cstdio>
#include <thread>

int main(int argc, char** argv)
{
    TBenchWindow bench(argc, argv);
    if (!bench.ShowConnected()) return 1;
    RunEventLoopFor(300);

    constexpr int Seconds = 5;
    constexpr int PieceBytes = 4;
    constexpr int PiecesPerSecond = 11520 / PieceBytes;
    std::atomic<bool> done = false;
    std::thread writer([&] {
        const auto start = std::chrono::steady_clock::now();
        const std::string text = "Records: 00001234 OK, spinner -\\|/ progress line text.....\r\n";
        std::size_t at = 0;
        for (int i = 0; i < Seconds * PiecesPerSecond; ++i) {
            std::string piece;
            for (int j = 0; j < PieceBytes; ++j)
                piece += text[at++ % text.size()];
            bench.Device.WriteAll(piece);
            std::this_thread::sleep_until(
                start +
                std::chrono::microseconds(static_cast<long>(i + 1) * 1'000'000 / PiecesPerSecond));
        }
        done = true;
    });
    const double before = ProcessCpuSeconds();
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (done) loop.quit();
    });
    poll.start(50);
    loop.exec();
    writer.join();
    const int shownLines = bench.Form.reTerminal->LineCount();
    const double used = ProcessCpuSeconds() - before;
    std::printf("Terminal trickle: %d-byte pieces at 115200 baud for %d s\n", PieceBytes, Seconds);
    std::printf("| %-34s | %10s |\n", "measure", "value");
    std::printf("|------------------------------------|------------|\n");
    std::printf("| %-34s | %8.3f s |\n", "process CPU time (user+sys)", used);
    std::printf("| %-34s | %8.1f %% |\n", "CPU share of one core", 100.0 * used / Seconds);
    std::printf("| %-34s | %10d |\n", "terminal lines shown", shownLines);
    return 0;
}
