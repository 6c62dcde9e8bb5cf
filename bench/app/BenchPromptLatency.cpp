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

// expect(1) answering on its own pseudo-terminal for as long as this lives.
struct TExpectAnswerer
{
    TExpectAnswerer()
    {
        Child = fork();
        if (Child == 0) {
            dup2(Device.Slave, 0);
            dup2(Device.Slave, 1);
            execlp("expect", "expect", "-c",
                   "log_user 0; set timeout -1; "
                   "while {1} { expect_user -re {>} { send_user -- 2 } }",
                   static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    ~TExpectAnswerer()
    {
        kill(Child, SIGTERM);
        waitpid(Child, nullptr, 0);
    }
    TBenchPty Device;
    pid_t Child = -1;
};

struct TRounds
{
    // Each answerer alone, round after round (it never sleeps long between prompts), in blocks
    // of BlockRounds that alternate between the two.
    std::vector<double> TarvelAlone, ExpectAlone;
    // Taking turns, round by round, so that both meet the same machine: a load or a frequency
    // change in the middle of the run weighs on both alike.
    std::vector<double> TarvelTurns, ExpectTurns;
};

constexpr int BlockRounds = 100;

bool Block(TBenchPty& device, std::vector<double>& rounds)
{
    for (int i = 0; i < BlockRounds; ++i) {
        const double time = PromptRound(device);
        if (time < 0) return false;
        rounds.push_back(time);
    }
    return true;
}

TRounds MeasureSideBySide(int argc, char** argv)
{
    TRounds rounds;
    TExpectAnswerer expect;
    TBenchWindow bench(argc, argv);
    // Shown: the lamps and the terminal draw as they would for the operator.
    if (!bench.ShowConnected()) {
        std::fprintf(stderr, "cannot open %s\n", bench.Device.Path.c_str());
        return rounds;
    }
    std::thread driver([&] {
        for (int i = 0; i < 20; ++i) { // warm-up
            PromptRound(bench.Device);
            PromptRound(expect.Device);
        }
        bool answered = true;
        for (int block = 0; answered && block < Rounds / BlockRounds; ++block)
            answered =
                Block(bench.Device, rounds.TarvelAlone) && Block(expect.Device, rounds.ExpectAlone);
        if (answered) {
            for (int i = 0; i < Rounds; ++i) {
                const double tarvel = PromptRound(bench.Device);
                const double other = PromptRound(expect.Device);
                if (tarvel < 0 || other < 0) break;
                rounds.TarvelTurns.push_back(tarvel);
                rounds.ExpectTurns.push_back(other);
            }
        }
        QMetaObject::invokeMethod(&bench.App, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    bench.App.exec();
    driver.join();
    return rounds;
}

void PrintRow(const char* name, const std::vector<double>& rounds)
{
    std::printf("| %-22s | %6zu | %10.3f | %10.3f | %10.3f |\n", name, rounds.size(),
                Percentile(rounds, 0.5), Percentile(rounds, 0.99),
                rounds.empty() ? 0.0 : *std::max_element(rounds.begin(), rounds.end()));
}

} // namespace

void PrintComparison(const char* title, const std::vector<double>& tarvel,
                     const std::vector<double>& expect)
{
    std::printf("\n%s, %d rounds each (ms)\n", title, Rounds);
    std::printf("| %-22s | %6s | %10s | %10s | %10s |\n", "answerer", "rounds", "median", "p99",
                "max");
    std::printf("|------------------------|--------|------------|------------|------------|\n");
    PrintRow("Tarvel (TForm1)", tarvel);
    PrintRow("expect(1)", expect);
    if (tarvel.empty() || expect.empty()) return;
    const double ratio = Percentile(tarvel, 0.5) / Percentile(expect, 0.5);
    const double p99 = Percentile(tarvel, 0.99);
    std::printf("Tarvel's median is %.2fx expect's (goal <= 1.25x: %s); its p99 %.3f ms "
                "(goal < 1 ms: %s)\n",
                ratio, ratio <= 1.25 ? "met" : "missed", p99, p99 < 1.0 ? "met" : "missed");
}

int main(int argc, char** argv)
{
    const TRounds rounds = MeasureSideBySide(argc, argv);
    std::printf("Prompt '>' to answer '2' over a pseudo-terminal, both answerers running\n");
    PrintComparison("Each alone, in alternating blocks of 100 rounds", rounds.TarvelAlone,
                    rounds.ExpectAlone);
    PrintComparison("Taking turns, round by round", rounds.TarvelTurns, rounds.ExpectTurns);
    return rounds.TarvelTurns.size() == Rounds ? 0 : 1;
}
