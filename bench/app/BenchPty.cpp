#include "bench/app/BenchPty.h"

#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

TBenchPty::TBenchPty()
{
    char name[128] = {};
    if (openpty(&Master, &Slave, name, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    Path = name;
    termios raw{};
    tcgetattr(Slave, &raw);
    cfmakeraw(&raw);
    tcsetattr(Slave, TCSANOW, &raw);
}

TBenchPty::~TBenchPty()
{
    ::close(Master);
    ::close(Slave);
}

void TBenchPty::WriteAll(std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(Master, bytes.data(), bytes.size());
        if (n > 0)
            bytes.remove_prefix(static_cast<std::size_t>(n));
        else if (n < 0 && errno != EINTR && errno != EAGAIN)
            throw std::runtime_error("write to the pseudo-terminal failed");
    }
}

bool TBenchPty::ReadUntil(char wanted, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() < 0) return false;
        pollfd in{Master, POLLIN, 0};
        if (::poll(&in, 1, static_cast<int>(left.count()) + 1) <= 0) continue;
        char buffer[256];
        const ssize_t n = ::read(Master, buffer, sizeof buffer);
        if (n > 0 && std::find(buffer, buffer + n, wanted) != buffer + n) return true;
    }
}

double PromptRound(TBenchPty& device)
{
    const auto start = std::chrono::steady_clock::now();
    device.WriteAll("\r\nMenu>");
    if (!device.ReadUntil('2', std::chrono::seconds(10))) return -1;
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

double Percentile(std::vector<double> values, double fraction)
{
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1));
    return values[index];
}

double ProcessCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

long PeakRssKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

void RunEventLoopFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}
