// tarvel-flash against tarvel-devsim at 115200 baud, printed as a table (not pass/fail): one
// port, four ports at once, and the window flashing the same image, side by side. Each device is
// a process of its own, so the CPU figures are tarvel-flash's alone.
//
// Usage: tarvel_bench_flash_cli [--size DATA_BYTES] [--gang PORTS] [--gang-only] [--network]
//        (defaults: 1 MiB, a gang of 32 ports; --network: one port local and through ser2net,
//        and 8 ports through one ser2net, instead)
#include "sim/SRecordGenerator.h"
#ifdef TARVEL_BENCH_SER2NET
#include "tests/support/TSer2net.h"
#endif

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

std::string Bin(const std::string& name)
{
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / name).string();
}

pid_t Spawn(std::vector<std::string> args, int stdoutFd)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (stdoutFd >= 0) posix_spawn_file_actions_adddup2(&actions, stdoutFd, 1);
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) std::exit(1);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// A tarvel-devsim process at 115200 baud.
struct TDevice
{
    pid_t Pid = -1;
    std::string Path;
    TDevice()
    {
        int out[2];
        if (::pipe(out) != 0) std::exit(1);
        Pid = Spawn({Bin("tarvel-devsim")}, out[1]);
        ::close(out[1]);
        char c;
        while (::read(out[0], &c, 1) == 1 && c != '\n')
            Path.push_back(c);
        ::close(out[0]);
    }
    ~TDevice()
    {
        ::kill(Pid, SIGTERM);
        ::waitpid(Pid, nullptr, 0);
    }
};

struct TRun
{
    double Seconds = 0;
    double CpuSeconds = 0;
    int ExitCode = -1;
};

TRun RunFlash(const std::vector<std::string>& ports, const std::string& file)
{
    std::vector<std::string> args{Bin("tarvel-flash"), "--quiet"};
    for (const std::string& port : ports)
        args.insert(args.end(), {"--port", port});
    args.push_back(file);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = Spawn(args, -1);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    TRun run;
    run.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.CpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    run.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

} // namespace

int main(int argc, char** argv)
{
    std::size_t size = 1024 * 1024;
    std::size_t gang = 32;
    bool gangOnly = false;
    bool network = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--gang-only") == 0) gangOnly = true;
        if (std::strcmp(argv[i], "--network") == 0) network = true;
        if (i + 1 == argc) continue;
        if (std::strcmp(argv[i], "--size") == 0) size = std::strtoul(argv[i + 1], nullptr, 10);
        if (std::strcmp(argv[i], "--gang") == 0) gang = std::strtoul(argv[i + 1], nullptr, 10);
    }

    const std::string text = GenerateSRecordFile(GenerateFirmwareBytes(size, 11), 0x08000000);
    const std::string file = (std::filesystem::temp_directory_path() /
                              ("tarvel-bench-" + std::to_string(::getpid()) + ".s19"))
                                 .string();
    std::ofstream(file, std::ios::binary) << text;
    // On the wire: every line and its CR, the file's own CRs dropped, 10 bits a byte.
    std::size_t wireBytes = 0;
    for (const char c : text)
        wireBytes += c != '\r';
    const double wireSeconds = static_cast<double>(wireBytes) / 11520.0;

    std::printf("Image: %zu data bytes, %.2f MiB file, %.2f s on the wire at 115200 baud\n", size,
                static_cast<double>(text.size()) / (1 << 20), wireSeconds);
    std::printf("%-24s %9s %9s %8s %8s %9s %5s\n", "run", "seconds", "wire s", "ratio", "CPU s",
                "CPU %", "exit");
    const auto row = [&](const char* name, const TRun& run) {
        std::printf("%-24s %9.2f %9.2f %8.4f %8.2f %8.2f%% %5d\n", name, run.Seconds, wireSeconds,
                    run.Seconds / wireSeconds, run.CpuSeconds, 100.0 * run.CpuSeconds / run.Seconds,
                    run.ExitCode);
        std::fflush(stdout);
    };
    double local = 0;
    {
        TDevice device;
        const TRun run = RunFlash({device.Path}, file);
        local = run.Seconds;
        row("tarvel-flash, 1 port", run);
    }
#ifndef TARVEL_BENCH_SER2NET
    if (network) {
        std::printf("--network needs a build with the tests (-DTARVEL_BUILD_TESTS=ON)\n");
        return 1;
    }
#else
    if (network) {
        {
            TDevice device;
            const TSer2net server(device.Path);
            const TRun run = RunFlash({server.Rfc2217Url()}, file);
            row("1 port through ser2net", run);
            std::printf("%-24s %51.4f x the local port's time\n", "", run.Seconds / local);
        }
        std::vector<TDevice> devices(8);
        std::vector<std::string> paths, ports;
        for (const TDevice& d : devices)
            paths.push_back(d.Path);
        const TSer2net server(paths);
        for (std::size_t i = 0; i < devices.size(); ++i)
            ports.push_back(server.Rfc2217Url(i));
        row("8 ports, one ser2net", RunFlash(ports, file));
        std::filesystem::remove(file);
        return 0;
    }
#endif
    for (const std::size_t count : {std::size_t{4}, gang}) {
        if (gangOnly && count != gang) continue;
        std::vector<TDevice> devices(count);
        std::vector<std::string> ports;
        for (const TDevice& d : devices)
            ports.push_back(d.Path);
        const TRun run = RunFlash(ports, file);
        row(("tarvel-flash, " + std::to_string(count) + " ports").c_str(), run);
        std::printf("%-24s %51.2f%% of a core per port\n", "",
                    100.0 * run.CpuSeconds / run.Seconds / static_cast<double>(count));
    }
    if (gangOnly) {
        std::filesystem::remove(file);
        return 0;
    }
    // The window on the same image and device, from its own benchmark.
    std::printf("The window on the same image (tarvel_bench_flash --paced-only):\n");
    std::fflush(stdout);
    const std::string window =
        Bin("tarvel_bench_flash") + " --paced-only --size " + std::to_string(size);
    if (std::system(window.c_str()) != 0) std::printf("  (the window benchmark did not run)\n");
    std::filesystem::remove(file);
    return 0;
}
