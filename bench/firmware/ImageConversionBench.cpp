// A 16 MiB image in an Intel HEX file (16 data bytes a record, as linkers write it) read and
// converted to S-records as the session and tarvel-flash do, beside srec_cat converting the same
// file in the same run (a process: its start is counted, a few milliseconds). Goal: ours within
// 0.3 s.
//
// Usage: tarvel_bench_image_conversion [--image-mib N] [benchmark options]
#include "firmware/FirmwareConversion.h"
#include "firmware/TFirmwareFile.h"
#include "sim/SRecordGenerator.h"
#include "sim/ToolchainFileGenerator.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

std::filesystem::path HexPath;
std::size_t ImageBytes = 16u << 20;

void BM_TarvelHexToSRecords(benchmark::State& state)
{
    std::size_t records = 0;
    for (auto _ : state) {
        const auto converted =
            ConvertToSRecords(TFirmwareFile::ReadWhole(HexPath.string()), "bench.hex", {});
        records = converted->SRecords.Records;
        benchmark::DoNotOptimize(converted->SRecords.Text.data());
    }
    state.counters["records"] = static_cast<double>(records);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * ImageBytes));
}

void BM_SrecCatHexToSRecords(benchmark::State& state)
{
    const std::string command = "srec_cat '" + HexPath.string() + "' -intel -o '" +
                                HexPath.string() + ".s19' -motorola -address-length=4";
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("srec_cat failed (package srecord installed?)");
            break;
        }
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * ImageBytes));
}

BENCHMARK(BM_TarvelHexToSRecords)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_SrecCatHexToSRecords)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

} // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--image-mib") == 0) {
            ImageBytes = std::strtoul(argv[i + 1], nullptr, 10) << 20;
            for (int j = i; j + 2 <= argc; ++j)
                argv[j] = argv[j + 2];
            argc -= 2;
            break;
        }
    HexPath = std::filesystem::temp_directory_path() /
              ("tarvel-bench-" + std::to_string(::getpid()) + ".hex");
    {
        THexFileOptions options;
        options.BytesPerRecord = 16;
        const std::string hex = GenerateIntelHexFile(
            {{0x08000000, GenerateFirmwareBytes(ImageBytes, 3)}}, 0x08000000, options);
        std::ofstream(HexPath, std::ios::binary) << hex;
        std::printf("%zu MiB of image in a %.1f MB HEX file\n", ImageBytes >> 20,
                    static_cast<double>(hex.size()) / 1e6);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove(HexPath);
    std::filesystem::remove(HexPath.string() + ".s19");
    return 0;
}
