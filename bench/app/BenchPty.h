#pragma once
// A pseudo-terminal whose master end the benchmark drives as the device.

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

struct TBenchPty
{
    TBenchPty();
    ~TBenchPty();
    TBenchPty(const TBenchPty&) = delete;
    TBenchPty& operator=(const TBenchPty&) = delete;

    void WriteAll(std::string_view bytes);
    // Reads until `wanted` has been seen, or the timeout passes; returns whether it was seen.
    bool ReadUntil(char wanted, std::chrono::milliseconds timeout);

    int Master = -1;
    int Slave = -1;
    std::string Path;
};

// Runs the event loop for ms milliseconds (a local loop: quitting the application would
// close the window and its port).
void RunEventLoopFor(int ms);

// One prompt ending in ">" written as the device, and the wait for the answer "2": the round's
// time in milliseconds, or a negative value when no answer came.
double PromptRound(TBenchPty& device);

double Percentile(std::vector<double> values, double fraction);
double ProcessCpuSeconds();
long PeakRssKiB();
