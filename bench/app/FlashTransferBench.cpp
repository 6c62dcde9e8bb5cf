// Firmware transfer to the simulated device, printed as a table (not pass/fail):
//  - paced at 115200 baud: transfer time against the time the bytes take on the wire, and
//    the share of one core the program uses meanwhile;
//  - unpaced: lines per second and CPU seconds per MiB of file.
// Each device runs in a child process forked before any thread exists, so the CPU measured
// here is the program's alone (window, transfer loop, serial threads).
//
// Usage: tarvel_bench_flash [--size BYTES] [--paced-only | --unpaced-only]
#include "app/TForm1.h"
#include "sim/SRecordGenerator.h"
#include "sim/TSimulatedDevice.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using TClock = std::chrono::steady_clock;

constexpr uint32_t BaseAddress = 0x08000000;

uint64_t Digest(const std::map<uint32_t, uint8_t>& image)
{
    uint64_t hash = 1469598103934665603ull;
    for (const auto& [address, byte] : image) {
        for (int shift = 0; shift < 32; shift += 8)
            hash = (hash ^ ((address >> shift) & 0xFF)) * 1099511628211ull;
        hash = (hash ^ byte) * 1099511628211ull;
    }
    return hash;
}

void WriteAll(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

std::string ReadLineFrom(int fd)
{
    std::string line;
    char c;
    while (::read(fd, &c, 1) == 1 && c != '\n')
        line.push_back(c);
    return line;
}

// A simulated device in a child process. It reports its terminal's path, an 'L' for every
// completed load, and answers 'I' with the loaded image's size and digest.
struct TDeviceProcess
{
    pid_t Pid = -1;
    int Command = -1; // to the child
    int Reply = -1;   // from the child
    std::string Path;

    explicit TDeviceProcess(int baudrate)
    {
        int toChild[2], fromChild[2];
        if (::pipe(toChild) != 0 || ::pipe(fromChild) != 0) std::exit(1);
        Pid = ::fork();
        if (Pid == 0) {
            ::close(toChild[1]);
            ::close(fromChild[0]);
            RunChild(baudrate, toChild[0], fromChild[1]);
            ::_exit(0);
        }
        ::close(toChild[0]);
        ::close(fromChild[1]);
        Command = toChild[1];
        Reply = fromChild[0];
        Path = ReadLineFrom(Reply);
    }

    ~TDeviceProcess()
    {
        ::close(Command);
        ::close(Reply);
        int status = 0;
        ::waitpid(Pid, &status, 0);
    }

    static void RunChild(int baudrate, int command, int reply)
    {
        TSimulatedDeviceOptions options;
        options.Baudrate = baudrate;
        options.OnLoadComplete = [reply] { WriteAll(reply, "L"); };
        TSimulatedDevice device(options);
        WriteAll(reply, device.DevicePath() + "\n");
        char c;
        while (::read(command, &c, 1) == 1) {
            if (c != 'I') continue;
            const auto image = device.LoadedImage();
            WriteAll(reply, "I " + std::to_string(image.size()) + " " +
                                std::to_string(Digest(image)) + "\n");
        }
    }
};

double ThreadCpuSeconds()
{
    timespec ts{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

double CpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

bool ProcessEventsUntil(const std::function<bool()>& done, int limitMs)
{
    const QDeadlineTimer deadline(limitMs);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QTimer wake;
        wake.setSingleShot(true);
        wake.start(20);
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

struct TResult
{
    bool Ok = false;
    double Seconds = 0;
    double CpuSeconds = 0;
    double MainThreadCpuSeconds = 0; // the window's thread: transfer loop and handlers
    bool ImageMatches = false;
};

TResult RunTransfer(TDeviceProcess& device, const std::string& file,
                    const std::map<uint32_t, uint8_t>& source)
{
    TResult result;
    TForm1 form;
    form.ShowWarning = [](const QString&) {};
    form.ComPort.SetDevicePath(2, device.Path);
    form.Model.Button_OpenClick();

    // The boot loader dialogue: Init, then the automatic answers, until the device is ready.
    form.Model.Button4Click();
    if (!ProcessEventsUntil(
            [&] { return form.reTerminal->Text().contains(QStringLiteral("Ready.")); }, 20000)) {
        std::fprintf(stderr, "device did not become ready\n");
        return result;
    }

    bool loaded = false;
    QSocketNotifier done(device.Reply, QSocketNotifier::Read);
    QObject::connect(&done, &QSocketNotifier::activated, [&] {
        char c;
        if (::read(device.Reply, &c, 1) == 1 && c == 'L') loaded = true;
    });
    form.ChooseFirmwareFile = [&file] {
        return std::optional<QString>(QString::fromStdString(file));
    };

    const double cpuBefore = CpuSeconds();
    const double mainBefore = ThreadCpuSeconds();
    const auto start = TClock::now();
    form.Model.Button1Click();
    if (!ProcessEventsUntil([&] { return loaded; }, 1800000)) {
        std::fprintf(stderr, "load did not complete\n");
        return result;
    }
    result.Seconds = std::chrono::duration<double>(TClock::now() - start).count();
    result.CpuSeconds = CpuSeconds() - cpuBefore;
    result.MainThreadCpuSeconds = ThreadCpuSeconds() - mainBefore;
    done.setEnabled(false);

    WriteAll(device.Command, "I");
    const std::string answer = ReadLineFrom(device.Reply);
    result.ImageMatches =
        answer == "I " + std::to_string(source.size()) + " " + std::to_string(Digest(source));
    result.Ok = true;
    return result;
}

} // namespace

int main(int argc, char** argv)
{
    std::size_t size = 1024 * 1024;
    bool paced = true, unpaced = true;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--size") == 0 && i + 1 < argc)
            size = std::stoul(argv[++i]);
        else if (std::strcmp(argv[i], "--paced-only") == 0)
            unpaced = false;
        else if (std::strcmp(argv[i], "--unpaced-only") == 0)
            paced = false;
    }

    // Devices first: no thread may exist yet when the children are forked.
    std::optional<TDeviceProcess> pacedDevice, unpacedDevice;
    if (paced) pacedDevice.emplace(115200);
    if (unpaced) unpacedDevice.emplace(0);

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    const std::vector<uint8_t> data = GenerateFirmwareBytes(size, 7);
    std::map<uint32_t, uint8_t> source;
    for (std::size_t i = 0; i < data.size(); ++i)
        source[BaseAddress + static_cast<uint32_t>(i)] = data[i];
    const std::string text = GenerateSRecordFile(data, BaseAddress);
    const auto path = std::filesystem::temp_directory_path() /
                      ("tarvel-bench-flash-" + std::to_string(::getpid()) + ".s19");
    std::ofstream(path, std::ios::binary) << text;

    std::size_t lines = 0, sentBytes = 0;
    for (char c : text) {
        lines += c == '\n';
        sentBytes += c != '\n'; // CR LF goes out as CR
    }
    const double mib = static_cast<double>(text.size()) / (1024.0 * 1024.0);
    const double wireSeconds = static_cast<double>(sentBytes) * 10.0 / 115200.0;

    std::printf("Firmware transfer: %zu bytes of data, %zu records, %.2f MiB file\n", size, lines,
                mib);
    std::printf("%-10s %10s %10s %10s %12s %10s %10s %10s %8s\n", "run", "seconds", "wire s",
                "ratio", "lines/s", "CPU s", "CPU s/MiB", "main CPU s", "image");
    if (pacedDevice) {
        const TResult r = RunTransfer(*pacedDevice, path.string(), source);
        if (r.Ok)
            std::printf("%-10s %10.2f %10.2f %10.4f %12.0f %10.2f %10.3f %10.2f %8s\n   CPU share "
                        "of one core during the paced transfer: %.2f %%\n",
                        "115200", r.Seconds, wireSeconds, r.Seconds / wireSeconds,
                        static_cast<double>(lines) / r.Seconds, r.CpuSeconds, r.CpuSeconds / mib,
                        r.MainThreadCpuSeconds, r.ImageMatches ? "equal" : "DIFFERS",
                        100.0 * r.CpuSeconds / r.Seconds);
    }
    if (unpacedDevice) {
        const TResult r = RunTransfer(*unpacedDevice, path.string(), source);
        if (r.Ok)
            std::printf("%-10s %10.2f %10s %10s %12.0f %10.2f %10.3f %10.2f %8s\n   lines per "
                        "second of the program's CPU time: %.0f\n",
                        "unpaced", r.Seconds, "-", "-", static_cast<double>(lines) / r.Seconds,
                        r.CpuSeconds, r.CpuSeconds / mib, r.MainThreadCpuSeconds,
                        r.ImageMatches ? "equal" : "DIFFERS",
                        static_cast<double>(lines) / r.CpuSeconds);
    }
    std::filesystem::remove(path);
    return 0;
}
