// Time from the device's ">" prompt to the window's automatic answer, beside expect(1) answering
// the same prompt on the same kind of pseudo-terminal.
#include "bench/app/BenchWindow.h"

#include <QApplication>

#include <cstdio>
#include <signal.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int Rounds = 1000;

using Clock = std::chrono::steady_clock;

// Sends a prompt line ending in ">" and waits for "2", Rounds times; returns each round's time
// in milliseconds.
std::vector<double> MeasureRounds(TBenchPty& device)
{
    std::vector<double> rounds;
    for (int i = 0; i < 20; ++i) { // warm-up
        device.WriteAll("\r\nMenu>");
        device.ReadUntil('2', std::chrono::seconds(10));
    }
    for (int i = 0; i < Rounds; ++i) {
        const auto start = Clock::now();
        device.WriteAll("\r\nMenu>");
        if (!device.ReadUntil('2', std::chrono::seconds(10))) break;
        rounds.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    return rounds;
}

std::vector<double> MeasureTarvel(int argc, char** argv)
{
    TBenchWindow bench(argc, argv);
    // Shown: the lamps and the terminal draw as they would for the operator.
    if (!bench.ShowConnected()) {
        std::fprintf(stderr, "cannot open %s\n", bench.Device.Path.c_str());
        return {};
    }
    std::vector<double> rounds;
    std::thread driver([&] {
        rounds = MeasureRounds(bench.Device);
        QMetaObject::invokeMethod(&bench.App, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    bench.App.exec();
    driver.join();
    return rounds;
}

std::vector<double> MeasureExpect()
{
    TBenchPty device;
    const pid_t child = fork();
    if (child == 0) {
        dup2(device.Slave, 0);
        dup2(device.Slave, 1);
        execlp("expect", "expect", "-c",
               "log_user 0; set timeout -1; "
               "while {1} { expect_user -re {>} { send_user -- 2 } }",
               static_cast<char*>(nullptr));
        _exit(127);
    }
    std::vector<double> rounds = MeasureRounds(device);
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    return rounds;
}

void PrintRow(const char* name, const std::vector<double>& rounds)
{
    std::printf("| %-22s | %6zu | %10.3f | %10.3f | %10.3f |\n", name, rounds.size(),
                Percentile(rounds, 0.5), Percentile(rounds, 0.99),
                rounds.empty() ? 0.0 : *std::max_element(rounds.begin(), rounds.end()));
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<double> tarvel = MeasureTarvel(argc, argv);
    const std::vector<double> expect = MeasureExpect();
    std::printf("Prompt '>' to answer '2' over a pseudo-terminal, %d rounds (ms)\n", Rounds);
    std::printf("| %-22s | %6s | %10s | %10s | %10s |\n", "answerer", "rounds", "median", "p99",
                "max");
    std::printf("|------------------------|--------|------------|------------|------------|\n");
    PrintRow("Tarvel (TForm1)", tarvel);
    PrintRow("expect(1)", expect);
    if (!tarvel.empty() && !expect.empty())
        std::printf("median speed-up over expect: %.1fx\n",
                    Percentile(expect, 0.5) / Percentile(tarvel, 0.5));
    return tarvel.size() == Rounds ? 0 : 1;
}
