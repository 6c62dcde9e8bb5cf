// Time from the device's ">" prompt to the window's automatic answer, on a local pseudo-terminal
// beside the same window kind on a pseudo-terminal that ser2net serves as rfc2217:// on loopback,
// taking turns round by round.
#include "bench/app/BenchWindow.h"
#include "tests/support/TSer2net.h"

#include <QPushButton>

#include <cstdio>
#include <thread>

namespace {

constexpr int Rounds = 1000;

void PrintRow(const char* name, const std::vector<double>& rounds)
{
    std::printf("| %-28s | %6zu | %10.3f | %10.3f |\n", name, rounds.size(),
                Percentile(rounds, 0.5), Percentile(rounds, 0.99));
}

} // namespace

int main(int argc, char** argv)
{
    if (!TSer2net::Available()) {
        std::printf("ser2net is not installed\n");
        return 1;
    }
    TBenchWindow local(argc, argv);
    TBenchPty remoteDevice;
    const TSer2net server(remoteDevice.Path);
    TForm1 remote;
    remote.ComPort.SetDevicePath(2, server.Rfc2217Url());
    remote.Button_Open->click();
    if (!local.ShowConnected() || !remote.ComPort.Active()) {
        std::printf("a port did not open\n");
        return 1;
    }
    std::vector<double> localRounds, remoteRounds;
    std::thread driver([&] {
        for (int i = 0; i < 20; ++i) { // warm-up
            PromptRound(local.Device);
            PromptRound(remoteDevice);
        }
        for (int i = 0; i < Rounds; ++i) {
            const double a = PromptRound(local.Device);
            const double b = PromptRound(remoteDevice);
            if (a < 0 || b < 0) break;
            localRounds.push_back(a);
            remoteRounds.push_back(b);
        }
        QMetaObject::invokeMethod(&local.App, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    local.App.exec();
    driver.join();
    std::printf("Prompt '>' to answer '2', taking turns, %d rounds each (ms)\n", Rounds);
    std::printf("| %-28s | %6s | %10s | %10s |\n", "port", "rounds", "median", "p99");
    std::printf("|------------------------------|--------|------------|------------|\n");
    PrintRow("local pseudo-terminal", localRounds);
    PrintRow("rfc2217:// through ser2net", remoteRounds);
    return remoteRounds.size() == Rounds ? 0 : 1;
}
