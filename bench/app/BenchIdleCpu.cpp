// CPU time the program uses over 10 s while connected to a silent device.
#include "bench/app/BenchWindow.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv)
{
    TBenchWindow bench(argc, argv);
    if (!bench.ShowConnected()) return 1;
    // Let start-up work (first paint, port set-up) finish before measuring.
    RunEventLoopFor(500);

    const double before = ProcessCpuSeconds();
    RunEventLoopFor(10'000);
    const bool stillConnected = bench.Form.ComPort.Active();
    const double used = ProcessCpuSeconds() - before;
    std::printf("Idle and connected for 10 s\n");
    std::printf("| %-30s | %10s |\n", "measure", "value");
    std::printf("|--------------------------------|------------|\n");
    std::printf("| %-30s | %8.3f s |\n", "process CPU time (user+sys)", used);
    return stillConnected ? 0 : 1;
}
