// Serial component figures on pseudo-terminals: prompt round trip, receive and send
// throughput, and processor time while idle or after the device is gone. Prints a table.
#include "serial/SerialConstants.h"
#include "serial/TQorComPort.h"
#include "tests/serial/TestMainThread.h"
#include "tests/support/TPseudoTerminal.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <poll.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double CpuSeconds()
{
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

double Micros(Clock::duration d)
{
    return std::chrono::duration<double, std::micro>(d).count();
}

void PromptRoundTrip(int rounds)
{
    TPseudoTerminal pty;
    TTestMainThread mainThread;
    TQorComPort port(mainThread);
    port.SetDevicePath(1, pty.DevicePath());
    port.SetPort(1);
    port.SetBaudrate(115200);
    port.SetOnDataAvailable([](TQorComPort& sender) {
        if (sender.ReadString().find('>') != std::string::npos) sender.WriteString("2");
    });
    port.SetActive(true);

    std::vector<double> samples;
    std::atomic<bool> done = false;
    std::thread device([&] {
        for (int i = 0; i < rounds; ++i) {
            const auto start = Clock::now();
            pty.Send(">");
            if (pty.Receive(1) != "2") break;
            samples.push_back(Micros(Clock::now() - start));
        }
        done = true;
        mainThread.Post([] {}); // wake the pump
    });
    mainThread.PumpUntil([&] { return done.load(); }, std::chrono::seconds(120));
    device.join();
    port.SetActive(false);
    if (samples.empty()) return;
    std::sort(samples.begin(), samples.end());
    std::printf("%-44s %10.1f us median %10.1f us p99 (%zu rounds)\n",
                "prompt '>' -> answer '2' round trip", samples[samples.size() / 2],
                samples[samples.size() * 99 / 100], samples.size());
}

void ReceiveThroughput(size_t total)
{
    TPseudoTerminal pty;
    TTestMainThread mainThread;
    TQorComPort port(mainThread);
    port.SetDevicePath(1, pty.DevicePath());
    port.SetPort(1);
    size_t received = 0;
    size_t notifications = 0;
    port.SetOnDataAvailable([&](TQorComPort& sender) {
        received += sender.ReadString().size();
        ++notifications;
    });
    port.SetActive(true);
    const std::string block(65536, 'x');
    const auto start = Clock::now();
    const double cpuStart = CpuSeconds();
    std::thread device([&] {
        for (size_t sent = 0; sent < total; sent += block.size())
            pty.Send(block);
    });
    mainThread.PumpUntil([&] { return received >= total; }, std::chrono::seconds(120));
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpu = CpuSeconds() - cpuStart;
    device.join();
    port.SetActive(false);
    std::printf("%-44s %10.1f MB/s  %zu notifications, %.2f s CPU\n",
                "receive (device -> handler, plain mode)", total / seconds / 1e6, notifications,
                cpu);
}

void SendThroughput(size_t total)
{
    TPseudoTerminal pty;
    TTestMainThread mainThread;
    TQorComPort port(mainThread);
    port.SetDevicePath(1, pty.DevicePath());
    port.SetPort(1);
    port.SetActive(true);
    const std::string chunk(4096, 'y');
    std::string arrived;
    const auto start = Clock::now();
    Clock::duration longestWrite{};
    std::thread device([&] { arrived = pty.Receive(total, std::chrono::seconds(120)); });
    for (size_t sent = 0; sent < total; sent += chunk.size()) {
        const auto t = Clock::now();
        port.WriteString(chunk);
        longestWrite = std::max(longestWrite, Clock::now() - t);
    }
    device.join();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    port.SetActive(false);
    std::printf("%-44s %10.1f MB/s  longest Write call %.1f us\n",
                "send (Write 4 KiB chunks -> device)", arrived.size() / seconds / 1e6,
                Micros(longestWrite));
}

void IdleCpu(std::chrono::seconds window, bool lost)
{
    TPseudoTerminal pty;
    TTestMainThread mainThread;
    TQorComPort port(mainThread);
    port.SetDevicePath(1, pty.DevicePath());
    port.SetPort(1);
    bool gone = false;
    port.SetOnError([&](TQorComPort&, uint32_t e) { gone = gone || e == CE_DEVICE_LOST; });
    port.SetOnDataAvailable([](TQorComPort& sender) { sender.ReadString(); });
    port.SetActive(true);
    if (lost) {
        pty.CloseMaster();
        mainThread.PumpUntil([&] { return gone; });
    }
    const double before = CpuSeconds();
    std::this_thread::sleep_for(window);
    const double used = CpuSeconds() - before;
    const auto closeStart = Clock::now();
    port.SetActive(false);
    std::printf("%-44s %10.3f s CPU in %lld s; Close took %.1f us\n",
                lost ? "open, device pulled" : "open, idle", used,
                static_cast<long long>(window.count()), Micros(Clock::now() - closeStart));
}

void OpenClose(int rounds)
{
    TPseudoTerminal pty;
    TTestMainThread mainThread;
    TQorComPort port(mainThread);
    port.SetDevicePath(1, pty.DevicePath());
    port.SetPort(1);
    const auto start = Clock::now();
    for (int i = 0; i < rounds; ++i) {
        port.SetActive(true);
        port.SetActive(false);
    }
    std::printf("%-44s %10.1f us per pair\n", "open + close",
                Micros(Clock::now() - start) / rounds);
}

} // namespace

int main()
{
    std::printf("Serial component on pseudo-terminals\n");
    PromptRoundTrip(1000);
    ReceiveThroughput(32u << 20);
    SendThroughput(32u << 20);
    OpenClose(500);
    IdleCpu(std::chrono::seconds(2), false);
    IdleCpu(std::chrono::seconds(1), true);
    return 0;
}
