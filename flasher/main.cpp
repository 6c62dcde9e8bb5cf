// tarvel-flash: flashes boards from the command line, one engine per port, with a clear verdict
// in the exit code.
#include "flasher/FlashCommandLine.h"
#include "flasher/ImageCheck.h"
#include "flasher/TPortFlash.h"
#include "i18n/TLocalizationModule.h"
#include "session/EInOutError.h"

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <mutex>
#include <pthread.h>
#include <set>
#include <sstream>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

std::mutex OutputMutex; // the ports' threads share the terminal

void Say(std::ostream& out, const std::string& line)
{
    std::lock_guard lock(OutputMutex);
    out << line << std::flush;
}

int UsageError(const std::string& message)
{
    std::cerr << "tarvel-flash: " << message << "\nTry 'tarvel-flash --help'.\n";
    return 2;
}

int FileError(const std::string& file, const std::string& message)
{
    std::cerr << "tarvel-flash: " << file << ": " << message << "; nothing was sent\n";
    return 2;
}

// Shows each port's progress: a live line on a terminal for one port, else plain lines at the
// start and every 10 % (the end is the result line).
class TProgressReport
{
public:
    TProgressReport(const TFlashOptions& options, std::size_t ports, std::uintmax_t fileBytes)
        : FileBytes(fileBytes)
    {
        TProgressStyle style = options.Progress;
        if (style == TProgressStyle::Auto)
            style = ::isatty(STDOUT_FILENO) ? TProgressStyle::Bar : TProgressStyle::Plain;
        if (style == TProgressStyle::Bar && ports > 1) style = TProgressStyle::Plain;
        Style = options.Quiet ? TProgressStyle::None : style;
    }

    TPortFlash::TProgress For(const std::string& port)
    {
        auto lastTenth = std::make_shared<int>(-1);
        auto start = std::make_shared<std::chrono::steady_clock::time_point>();
        return [this, port, lastTenth, start](int percent, std::int32_t lines) {
            if (Style == TProgressStyle::None) return;
            if (lines == 0 && percent == 0) *start = std::chrono::steady_clock::now();
            if (Style == TProgressStyle::Plain) {
                if (percent / 10 == *lastTenth || percent == 100) return;
                *lastTenth = percent / 10;
                Say(std::cout, port + ": " + std::to_string(percent) + " %, " +
                                   std::to_string(lines) + " lines\n");
                return;
            }
            const double seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - *start).count();
            const double sent = static_cast<double>(FileBytes) * percent / 100.0;
            const double rate = seconds > 0 ? sent / seconds : 0;
            const double left = rate > 0 ? (static_cast<double>(FileBytes) - sent) / rate : 0;
            char text[160];
            std::snprintf(text, sizeof text, "\r%s %3d %%  %d lines  %.0f B/s  %.0f s left   ",
                          port.c_str(), percent, lines, rate, left);
            Say(std::cout, text);
        };
    }
    void EndLiveLine()
    {
        if (Style == TProgressStyle::Bar) Say(std::cout, "\n");
    }

private:
    std::uintmax_t FileBytes;
    TProgressStyle Style = TProgressStyle::Plain;
};

} // namespace

int main(int argc, char** argv)
{
    // Ctrl-C and termination are taken by one thread of ours, never in the middle of a transfer
    // step: block them before any thread exists, so every thread inherits the mask.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGUSR1); // our own: the run is over
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    TLocalizationModule localization({.ExecutablePath = {}, .ReportError = [](const std::string& m) {
        std::cerr << "tarvel-flash: " << m << '\n';
    }});

    const std::vector<std::string> owned(argv + 1, argv + argc);
    const std::vector<std::string_view> arguments(owned.begin(), owned.end());
    TFlashOptions options;
    try {
        options = ParseFlashCommandLine(arguments);
    } catch (const EUsage& e) {
        return UsageError(e.what());
    }
    if (options.ShowHelp) {
        std::cout << FlashUsage();
        return 0;
    }
    if (options.ShowVersion) {
        std::cout << "tarvel-flash " << TARVEL_VERSION << '\n';
        return 0;
    }

    // The same device twice would interleave two transfers on one line.
    std::set<std::filesystem::path> devices;
    for (const std::string& port : options.Ports) {
        std::error_code error;
        const auto device = std::filesystem::weakly_canonical(port, error);
        if (!devices.insert(error ? std::filesystem::path(port) : device).second)
            return UsageError("the same device is named twice: " + port);
    }

    // The image is checked whole before any port is opened.
    std::error_code error;
    if (std::filesystem::is_directory(options.File, error))
        return FileError(options.File, "is a directory, not a firmware file");
    std::ifstream in(options.File, std::ios::binary);
    if (!in) return FileError(options.File, InOutErrorText(errno));
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return FileError(options.File, InOutErrorText(EIO));
    const TImageCheck check = CheckImage(text, !options.NoCheck);
    if (check.Error) return FileError(options.File, *check.Error);
    if (!options.NoCheck && !check.SRecords && !options.Quiet)
        std::cerr << "tarvel-flash: " << options.File
                  << " is not made of S-records; it is sent unchecked\n";

    TProgressReport progress(options, options.Ports.size(), text.size());
    std::vector<std::unique_ptr<TPortFlash>> flashes;
    for (std::size_t i = 0; i < options.Ports.size(); ++i) {
        std::string log = options.LogPath;
        if (!log.empty() && options.Ports.size() > 1) log += "." + std::to_string(i + 1);
        flashes.push_back(std::make_unique<TPortFlash>(options, options.Ports[i], log,
                                                       progress.For(options.Ports[i])));
    }

    bool interrupted = false;
    std::thread signalWatch([&] {
        int signal = 0;
        while (sigwait(&signals, &signal) == 0 && signal != SIGUSR1) {
            interrupted = true;
            for (auto& flash : flashes)
                flash->Interrupt();
        }
    });

    std::vector<TPortResult> results(flashes.size());
    {
        std::vector<std::thread> threads;
        for (std::size_t i = 0; i < flashes.size(); ++i)
            threads.emplace_back([&, i] { results[i] = flashes[i]->Run(); });
        for (std::thread& thread : threads)
            thread.join();
    }
    pthread_kill(signalWatch.native_handle(), SIGUSR1);
    signalWatch.join();
    progress.EndLiveLine();

    int exitCode = 0;
    for (std::size_t i = 0; i < results.size(); ++i) {
        const TPortResult& r = results[i];
        if (exitCode == 0 && r.Code != 0) exitCode = r.Code;
        std::ostringstream line;
        line.precision(1);
        line << std::fixed << options.Ports[i] << ": ";
        if (r.Code == 0)
            line << "ok, " << r.Lines << " lines in " << r.Seconds << " s\n";
        else
            line << "FAILED (exit " << r.Code << "): " << r.Message << " (" << r.Lines
                 << " lines sent, " << r.Seconds << " s)\n";
        if (r.Code != 0 || !options.Quiet) Say(r.Code == 0 ? std::cout : std::cerr, line.str());
    }
    if (interrupted) return 130;
    return exitCode;
}
