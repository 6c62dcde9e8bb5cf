// A long session's output into the terminal at full pseudo-terminal speed, printed side by side
// with the text-document terminal it replaced. Each terminal runs in a process of its own, so
// each peak resident size is its own:
//   - time until all of it is shown, the longest gap between repaints while it flows, and the
//     longest the event loop went without serving a 1 ms timer;
//   - peak resident memory growth against the text's size;
//   - a repaint after scrolling to the first line and one after scrolling back to the end;
//   - appending one line (and showing it) with the terminal empty and with all of it held.
// Usage: tarvel_bench_app_TerminalLongSession [MB [document MB]]   (default 100 and 1000 MB; the
// document terminal stops at 200 MB: at its 6x it would need gigabytes).
#include "app/TTerminalView.h"
#include "app/WindowFont.h"
#include "bench/app/BenchPty.h"
#include "bench/app/BenchWindow.h"
#include "bench/app/TDocumentTerminal.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

constexpr std::size_t LineBytes = 80; // 78 characters + CR LF

// Counts the repaints of a widget and the longest time between two of them.
class TRepaintClock : public QObject
{
public:
    explicit TRepaintClock(const QElapsedTimer& clock) : fClock(clock) {}
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && Measuring) {
            const qint64 now = fClock.nsecsElapsed();
            if (fLast >= 0) LongestGapNs = std::max(LongestGapNs, now - fLast);
            fLast = now;
        }
        return QObject::eventFilter(watched, event);
    }
    bool Measuring = false;
    qint64 LongestGapNs = 0;

private:
    const QElapsedTimer& fClock;
    qint64 fLast = -1;
};

template <typename TTerminal> double MedianAppendMicroseconds(TTerminal& terminal)
{
    std::vector<double> times;
    QElapsedTimer clock;
    for (int i = 0; i < 200; ++i) {
        clock.start();
        terminal.AppendReceived("one more line from the device\r\n");
        terminal.FlushReceived();
        terminal.viewport()->grab(); // paints it now, shown on a screen or not
        times.push_back(static_cast<double>(clock.nsecsElapsed()) / 1000.0);
    }
    return Percentile(times, 0.5);
}

template <typename TTerminal> double RepaintAtMilliseconds(TTerminal& terminal, bool top)
{
    QScrollBar* bar = terminal.verticalScrollBar();
    QElapsedTimer clock;
    clock.start();
    bar->setValue(top ? bar->minimum() : bar->maximum());
    terminal.viewport()->grab();
    return static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

template <typename TTerminal> int Run(int argc, char** argv, std::size_t megabytes)
{
    TOffscreenByDefault platform;
    QApplication app(argc, argv);
    TTerminal terminal;
    terminal.setFont(WindowFont(13));
    terminal.resize(381, 289);
    terminal.show();
    QCoreApplication::processEvents();
    const double appendEmpty = MedianAppendMicroseconds(terminal);
    QCoreApplication::processEvents();
    const long rssBefore = PeakRssKiB();
    const qint64 charactersBefore = terminal.CharacterCount();

    TBenchPty pty;
    const std::size_t lines = megabytes * 1'000'000 / LineBytes;
    const qint64 expected = charactersBefore + static_cast<qint64>(lines * (LineBytes - 1));
    QElapsedTimer clock;
    clock.start();
    TRepaintClock repaints(clock);
    terminal.viewport()->installEventFilter(&repaints);
    repaints.Measuring = true;
    std::thread writer([&] {
        std::string line(LineBytes - 2, 'x');
        line += "\r\n";
        std::string block;
        for (std::size_t i = 0; i < lines; ++i) {
            const std::string number = std::to_string(i % 100'000'000);
            line.replace(0, 9, std::string(8 - number.size(), '0') + number + ' ');
            block += line;
            if (block.size() >= 64 * 1024 || i + 1 == lines) {
                pty.WriteAll(block);
                block.clear();
            }
        }
    });
    std::string buffer(64 * 1024, '\0');
    QSocketNotifier readable(pty.Slave, QSocketNotifier::Read);
    QObject::connect(&readable, &QSocketNotifier::activated, [&] {
        const ssize_t n = ::read(pty.Slave, buffer.data(), buffer.size());
        if (n > 0)
            terminal.AppendReceived(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
    });
    qint64 lastTick = 0;
    qint64 longestStall = 0;
    qint64 shownAt = -1;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        longestStall = std::max(longestStall, now - lastTick);
        lastTick = now;
        if (terminal.CharacterCount() >= expected) {
            shownAt = now;
            app.quit();
        }
    });
    tick.start();
    QTimer::singleShot(1'800'000, &app, &QCoreApplication::quit);
    app.exec();
    repaints.Measuring = false;
    writer.join();
    const long rssPeak = PeakRssKiB();

    std::printf("text_mib %.1f\n", static_cast<double>(lines * LineBytes) / 1048576.0);
    std::printf("shown_s %.2f\n", shownAt < 0 ? -1.0 : static_cast<double>(shownAt) / 1000.0);
    std::printf("repaint_gap_ms %.1f\n", static_cast<double>(repaints.LongestGapNs) / 1e6);
    std::printf("stall_ms %lld\n", static_cast<long long>(longestStall));
    std::printf("rss_growth_mib %.1f\n", static_cast<double>(rssPeak - rssBefore) / 1024.0);
    std::printf("scroll_top_ms %.1f\n", RepaintAtMilliseconds(terminal, true));
    std::printf("scroll_end_ms %.1f\n", RepaintAtMilliseconds(terminal, false));
    std::printf("append_empty_us %.0f\n", appendEmpty);
    std::printf("append_full_us %.0f\n", MedianAppendMicroseconds(terminal));
    return shownAt < 0 ? 1 : 0;
}

std::map<std::string, std::string> RunChild(const char* self, const char* kind,
                                            std::size_t megabytes)
{
    std::map<std::string, std::string> values;
    const std::string command =
        std::string(self) + " --run " + kind + " " + std::to_string(megabytes);
    FILE* child = ::popen(command.c_str(), "r");
    if (!child) return values;
    char key[64];
    char value[64];
    while (std::fscanf(child, "%63s %63s", key, value) == 2)
        values[key] = value;
    ::pclose(child);
    return values;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::string(argv[1]) == "--run") {
        const auto megabytes = static_cast<std::size_t>(std::atol(argv[3]));
        int qtArgc = 1;
        return std::string(argv[2]) == "store" ? Run<TTerminalView>(qtArgc, argv, megabytes)
                                               : Run<TDocumentTerminal>(qtArgc, argv, megabytes);
    }
    const std::size_t small = argc > 1 ? static_cast<std::size_t>(std::atol(argv[1])) : 100;
    const std::size_t large = argc > 2 ? static_cast<std::size_t>(std::atol(argv[2])) : 1000;
    const std::size_t documentCap = std::min<std::size_t>(large, 200);
    struct TColumn
    {
        std::string Title;
        std::map<std::string, std::string> Values;
    };
    std::vector<TColumn> columns;
    columns.push_back(
        {"store " + std::to_string(small) + " MB", RunChild(argv[0], "store", small)});
    columns.push_back(
        {"document " + std::to_string(small) + " MB", RunChild(argv[0], "document", small)});
    columns.push_back(
        {"store " + std::to_string(large) + " MB", RunChild(argv[0], "store", large)});
    columns.push_back({"document " + std::to_string(documentCap) + " MB",
                       RunChild(argv[0], "document", documentCap)});

    const std::pair<const char*, const char*> rows[] = {
        {"text_mib", "text (MiB)"},
        {"shown_s", "all shown after (s)"},
        {"repaint_gap_ms", "longest gap between repaints (ms)"},
        {"stall_ms", "longest event-loop stall (ms)"},
        {"rss_growth_mib", "peak RSS growth (MiB)"},
        {"scroll_top_ms", "repaint at the first line (ms)"},
        {"scroll_end_ms", "repaint back at the end (ms)"},
        {"append_empty_us", "one line, terminal empty (us)"},
        {"append_full_us", "one line, all of it held (us)"},
    };
    std::printf("| %-34s |", "measure");
    for (const TColumn& column : columns)
        std::printf(" %16s |", column.Title.c_str());
    std::printf("\n|------------------------------------|");
    for (std::size_t i = 0; i < columns.size(); ++i)
        std::printf("------------------|");
    std::printf("\n");
    for (const auto& [key, title] : rows) {
        std::printf("| %-34s |", title);
        for (const TColumn& column : columns) {
            const auto found = column.Values.find(key);
            std::printf(" %16s |", found == column.Values.end() ? "-" : found->second.c_str());
        }
        std::printf("\n");
    }
    return 0;
}
