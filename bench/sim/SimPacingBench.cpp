// Line-speed accuracy of the simulated device: bytes per second achieved against the target,
// in each direction, for a few baud rates. Prints a table; each row takes about half a second.

#include "sim/SRecordGenerator.h"
#include "sim/TSimulatedDevice.h"
#include "system/TFileDescriptor.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <termios.h>
#include <time.h>
#include <unistd.h>
#include <utility>

namespace {

using TClock = std::chrono::steady_clock;

class TLine
{
public:
    explicit TLine(const std::string& path)
        : fD(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC))
    {
        if (!fD.Valid()) throw std::runtime_error("cannot open " + path);
        termios settings{};
        ::tcgetattr(fD.Get(), &settings);
        ::cfmakeraw(&settings);
        ::tcsetattr(fD.Get(), TCSANOW, &settings);
    }

    void Write(std::string_view bytes)
    {
        while (!bytes.empty()) {
            const ssize_t n = ::write(fD.Get(), bytes.data(), bytes.size());
            if (n > 0) {
                bytes.remove_prefix(static_cast<std::size_t>(n));
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR) throw std::runtime_error("write");
            Wait(POLLOUT);
        }
    }

    // Reads until `count` occurrences of `needle` have arrived; returns the bytes read.
    std::size_t ReadUntil(std::string_view needle, std::size_t count = 1)
    {
        std::string received;
        std::size_t found = 0;
        std::size_t searchFrom = 0;
        while (found < count) {
            char buffer[4096];
            const ssize_t n = ::read(fD.Get(), buffer, sizeof buffer);
            if (n > 0) {
                received.append(buffer, static_cast<std::size_t>(n));
                for (std::size_t at; (at = received.find(needle, searchFrom)) != received.npos;) {
                    ++found;
                    searchFrom = at + needle.size();
                }
                continue;
            }
            if (n == 0 || (errno != EAGAIN && errno != EINTR)) throw std::runtime_error("read");
            Wait(POLLIN);
        }
        return received.size();
    }

private:
    void Wait(short events)
    {
        pollfd fd{fD.Get(), events, 0};
        if (::poll(&fd, 1, 30'000) <= 0) throw std::runtime_error("device stopped answering");
    }

    TFileDescriptor fD;
};

std::string AsSent(const std::string& file)
{
    std::string sent;
    for (char c : file)
        if (c != '\r') sent += c == '\n' ? '\r' : c;
    return sent;
}

double Seconds(TClock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

double ProcessCpuSeconds()
{
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// Runs a measurement and also returns the share of one core the process used meanwhile: the
// device thread and this reader both block while the line is busy, so it should stay small.
template <class TMeasure> std::pair<double, double> WithCpuShare(TMeasure measure)
{
    const auto wallStart = TClock::now();
    const double cpuStart = ProcessCpuSeconds();
    const double result = measure();
    return {result, (ProcessCpuSeconds() - cpuStart) / Seconds(TClock::now() - wallStart)};
}

// Program -> device: a file of records sized for about half a second of line time.
double MeasureReceive(int baud)
{
    TSimulatedDeviceOptions options;
    options.Baudrate = baud;
    options.AnswerEvery = 0; // keep the return direction quiet
    options.ProgressEvery = 0;
    TSimulatedDevice device(options);
    TLine line(device.DevicePath());
    line.Write("\r\n");
    line.ReadUntil(">");
    line.Write("2");
    line.ReadUntil(":");
    line.Write("qxvt");
    line.ReadUntil("Send");

    const std::size_t dataBytes = std::max<std::size_t>(1024, baud / 10 / 2 * 32 / 78);
    const std::string file = AsSent(GenerateSRecordFile(GenerateFirmwareBytes(dataBytes), 0));
    const auto start = TClock::now();
    line.Write(file);
    line.ReadUntil("Load complete");
    return static_cast<double>(file.size()) / Seconds(TClock::now() - start);
}

// Device -> program: menus, each asked for by a line end sent up front.
double MeasureSend(int baud)
{
    TSimulatedDeviceOptions options;
    options.Baudrate = baud;
    TSimulatedDevice device(options);
    TLine line(device.DevicePath());
    line.Write("\r");
    const std::size_t menuBytes = line.ReadUntil(">"); // one menu, to learn its size
    const std::size_t menus = std::max<std::size_t>(2, baud / 10 / 2 / menuBytes);
    const auto start = TClock::now();
    line.Write(std::string(menus, '\r'));
    const std::size_t received = line.ReadUntil(">", menus);
    return static_cast<double>(received) / Seconds(TClock::now() - start);
}

} // namespace

int main()
{
    std::printf("Simulated device line pacing (10 bits a character)\n\n");
    std::printf("%8s  %10s  %12s  %7s  %5s  %12s  %7s  %5s\n", "baud", "target B/s", "receive B/s",
                "error", "cpu", "send B/s", "error", "cpu");
    for (const int baud : {9600, 38400, 115200, 230400, 921600}) {
        const double target = baud / 10.0;
        const auto [receive, receiveCpu] = WithCpuShare([baud] { return MeasureReceive(baud); });
        const auto [send, sendCpu] = WithCpuShare([baud] { return MeasureSend(baud); });
        std::printf("%8d  %10.0f  %12.0f  %+6.1f%%  %4.1f%%  %12.0f  %+6.1f%%  %4.1f%%\n", baud,
                    target, receive, 100 * (receive / target - 1), 100 * receiveCpu, send,
                    100 * (send / target - 1), 100 * sendCpu);
    }
    std::printf("%8s  %10s  %12.0f  %7s  %5s  %12.0f  %7s  %5s\n", "off", "-", MeasureReceive(0),
                "-", "", MeasureSend(0), "-", "");
    return 0;
}
