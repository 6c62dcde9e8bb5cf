// tarvel-flash: flashes boards from the command line, one engine per port, with a clear verdict
// in the exit code.
#include "firmware/FirmwareConversion.h"
#include "firmware/ImageCheck.h"
#include "firmware/Sha256.h"
#include "flasher/FlashCommandLine.h"
#include "flasher/PortName.h"
#include "flasher/TBoardReport.h"
#include "flasher/TConsole.h"
#include "flasher/TPortFlash.h"
#include "i18n/EInOutError.h"
#include "i18n/TLocalizationModule.h"
#include "serial/SerialPortList.h"
#include "system/TDeviceWatch.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <system_error>
#include <thread>
#include <vector>

namespace {

std::mutex OutputMutex; // the ports' threads share the terminal

void Say(std::ostream& out, const std::string& line)
{
    std::lock_guard lock(OutputMutex);
    out << line << std::flush;
}

int FileError(const std::string& file, const std::string& message)
{
    std::cerr << "tarvel-flash: " << file << ": " << message << "; nothing was sent\n";
    return static_cast<int>(TExitCode::Usage);
}

// A file the boot loader cannot take as it is (HEX, ELF, raw binary) is checked and converted
// here, before any port opens: text becomes the S-records sent, imageSha256 the image's digest.
std::optional<int> ConvertImage(const TFlashOptions& options, std::string& text,
                                std::string& imageSha256)
{
    const std::string name = std::filesystem::path(options.File).filename().string();
    std::optional<TConvertedImage> converted;
    try {
        converted =
            ConvertToSRecords(text, name, {options.BaseAddress.value_or(0), options.RecordSize});
    } catch (const EInOutError& e) {
        return FileError(options.File, e.what());
    }
    // An address that would be ignored is a mistake about the file, not a default to keep.
    if (options.BaseAddress && (!converted || converted->Format != TImageFormat::Binary))
        return ReportUsageError(
            std::cerr, "tarvel-flash",
            EUsage("--base-address is for a raw binary file; " + options.File + " is " +
                   ImageFormatName(converted ? converted->Format : TImageFormat::Text)));
    if (!converted) return std::nullopt;
    if (!options.Quiet)
        std::cerr << "tarvel-flash: " << options.File << " is " << ConversionSummary(*converted)
                  << '\n';
    imageSha256 = converted->Image.Sha256();
    text = std::move(converted->SRecords.Text);
    return std::nullopt;
}

// Shows each port's progress: on a terminal one live line per port (a block of lines, each port
// rewriting its own), else plain lines at the start and every 10 % (the end is the result line).
class TProgressReport
{
public:
    TProgressReport(const TFlashOptions& options, std::size_t ports, std::uintmax_t fileBytes)
        : fFileBytes(fileBytes)
    {
        TProgressStyle style = options.Progress;
        if (style == TProgressStyle::Auto)
            style = TConsole::OutputIsTerminal() ? TProgressStyle::Bar : TProgressStyle::Plain;
        // Under --watch boards come and go and their result lines would scroll the block away.
        if (style == TProgressStyle::Bar && ports > 1 && options.Watch)
            style = TProgressStyle::Plain;
        fStyle = options.Quiet ? TProgressStyle::None : style;
        fLines = fStyle == TProgressStyle::Bar ? ports : 0;
        // Each port's line exists from the start, so that a port can move to its own.
        if (fLines > 1) Say(std::cout, std::string(fLines, '\n'));
    }

    TPortFlash::TProgress For(std::size_t index, const std::string& port)
    {
        auto lastTenth = std::make_shared<int>(-1);
        auto start = std::make_shared<std::chrono::steady_clock::time_point>();
        return [this, index, port, lastTenth, start](int percent, std::int32_t lines) {
            if (fStyle == TProgressStyle::None) return;
            if (lines == 0 && percent == 0) *start = std::chrono::steady_clock::now();
            if (fStyle == TProgressStyle::Plain) {
                if (percent / 10 == *lastTenth || percent == 100) return;
                *lastTenth = percent / 10;
                Say(std::cout, port + ": " + std::to_string(percent) + " %, " +
                                   std::to_string(lines) + " lines\n");
                return;
            }
            const double seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - *start).count();
            const double sent = static_cast<double>(fFileBytes) * percent / 100.0;
            const double rate = seconds > 0 ? sent / seconds : 0;
            const double left = rate > 0 ? (static_cast<double>(fFileBytes) - sent) / rate : 0;
            char text[160];
            std::snprintf(text, sizeof text, "%s %3d %%  %d lines  %.0f B/s  %.0f s left",
                          port.c_str(), percent, lines, rate, left);
            if (fLines <= 1) {
                Say(std::cout, std::string("\r") + text + "\x1b[K");
                return;
            }
            // Up to this port's line, rewrite it, back down below the block.
            const std::string up = std::to_string(fLines - index);
            Say(std::cout, "\x1b[" + up + "A\r" + text + "\x1b[K\x1b[" + up + "B\r");
        };
    }
    void EndLiveLine()
    {
        if (fLines == 1) Say(std::cout, "\n");
    }

private:
    std::uintmax_t fFileBytes;
    TProgressStyle fStyle = TProgressStyle::Plain;
    std::size_t fLines = 0; // live lines, one per port
};

std::string JsonText(std::string_view text)
{
    std::string quoted = "\"";
    // A device's words may be any bytes; JSON is UTF-8.
    for (const char c : AsUtf8(text)) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (b < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", b);
            quoted += escaped;
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

std::string Now()
{
    const std::time_t now = std::time(nullptr);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", std::localtime(&now));
    return text;
}

struct TBoard
{
    std::string Port;   // as named on the command line
    std::string Device; // what was opened
    std::string Serial;
    TPortResult Result;
};

const char* ResultWord(const TPortResult& result)
{
    if (result.Code == TExitCode::Flashed) return result.Confirmed ? "ok" : "unconfirmed";
    return result.Code == TExitCode::Interrupted ? "interrupted" : "failed";
}

std::string CheckText(const TPortResult& result)
{
    std::string text;
    for (const std::string& match : result.CheckMatches)
        text += (text.empty() ? "" : " | ") + match;
    return text;
}

std::string ResultLine(const TBoard& board)
{
    std::ostringstream line;
    line.precision(1);
    line << std::fixed << board.Port << ": ";
    if (board.Result.Code == TExitCode::Flashed)
        line << (board.Result.Confirmed ? "ok" : board.Result.Message) << ", " << board.Result.Lines
             << " lines in " << board.Result.Seconds << " s"
             << (board.Result.CheckMatches.empty() ? "" : ", check: " + CheckText(board.Result))
             << "\n";
    else
        line << "FAILED (exit " << static_cast<int>(board.Result.Code)
             << "): " << board.Result.Message << " (" << board.Result.Lines << " lines sent, "
             << board.Result.Seconds << " s)\n";
    return line.str();
}

std::string JsonLine(const TBoard& board, const TFlashOptions& options, const std::string& sha256,
                     const std::string& imageSha256, std::string_view text)
{
    std::ostringstream json;
    json.precision(3);
    json << std::fixed << "{\"port\":" << JsonText(board.Port)
         << ",\"serial\":" << JsonText(board.Serial) << ",\"file\":" << JsonText(options.File)
         << ",\"sha256\":\"" << sha256
         << "\",\"image_sha256\":" << (imageSha256.empty() ? "null" : "\"" + imageSha256 + "\"")
         << ",\"result\":\"" << ResultWord(board.Result)
         << "\",\"exit_code\":" << static_cast<int>(board.Result.Code)
         << ",\"lines\":" << board.Result.Lines
         << ",\"bytes\":" << BytesOfLines(text, board.Result.Lines)
         << ",\"seconds\":" << board.Result.Seconds;
    if (!options.Check.empty()) {
        json << ",\"check\":[";
        for (std::size_t i = 0; i < board.Result.CheckMatches.size(); ++i)
            json << (i > 0 ? "," : "") << JsonText(board.Result.CheckMatches[i]);
        json << "]";
    }
    json << ",\"message\":" << JsonText(board.Result.Message) << "}\n";
    return json.str();
}

std::string SafeForFileName(std::string text)
{
    for (char& c : text)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_') c = '_';
    return text;
}

// One run of the program once its command line is read: the ports named, the image checked
// whole, then every board flashed once, or board after board with --watch.
class TFlashRun
{
public:
    TFlashRun(TConsole& console, const TFlashOptions& options)
        : fConsole(console), fOptions(options), fRunning(options.Ports.size(), nullptr)
    {
    }

    // Each returns the exit code, or nullopt to go on.
    std::optional<int> ResolvePorts();
    std::optional<int> ReadImage();
    std::optional<int> OpenReports();
    std::optional<int> WatchInterrupts();
    int FlashOnce();
    int FlashWhileWatching();

private:
    TBoard FlashBoard(std::size_t i, const std::string& device, const std::string& log);
    void WatchPort(std::size_t i);
    void WatchBoards(std::size_t i, const std::string& name, const std::string& watched);
    void CountBoard(const TBoard& board);
    void Record(const TBoard& board);

    TConsole& fConsole;
    const TFlashOptions& fOptions;
    std::vector<std::string> fDevices;
    std::string fText;
    std::string fSha256;
    std::string fImageSha256; // of a converted file's image; empty for text
    std::unique_ptr<TProgressReport> fProgress;
    std::unique_ptr<TBoardReport> fReport;
    const std::string fStation = TConsole::HostName();
    // Ctrl-C reaches every port: a transfer stops at once, a watch ends.
    std::mutex fRunningMutex;
    std::vector<TPortFlash*> fRunning; // guarded by fRunningMutex
    std::vector<std::unique_ptr<TDeviceWatch>> fWatches;
    bool fInterrupted = false; // guarded by fRunningMutex
    // --watch's tally, guarded by fCountMutex.
    std::mutex fCountMutex;
    int fPassed = 0, fFailed = 0;
    TExitCode fFirstFailure = TExitCode::Flashed;
};

std::optional<int> TFlashRun::ResolvePorts()
{
    // Names are resolved now (in --watch mode, as each board arrives). The same device twice
    // would interleave two transfers on one line.
    std::set<std::filesystem::path> seen;
    for (const std::string& port : fOptions.Ports) {
        std::string device = port;
        if (!fOptions.Watch) {
            const TPortMatch match = FindPort(port);
            if (!match.Path)
                return ReportUsageError(std::cerr, "tarvel-flash", EUsage(match.Problem));
            device = *match.Path;
        }
        std::error_code error;
        const auto canonical = std::filesystem::weakly_canonical(device, error);
        const bool named = std::any_of(fDevices.begin(), fDevices.end(), [&](const auto& other) {
            return SamePortName(other, device); // COM7 and \\.\com7 on Windows
        });
        if ((!seen.insert(error ? std::filesystem::path(device) : canonical).second || named) &&
            (!fOptions.Watch || port.rfind("usb:", 0) != 0))
            return ReportUsageError(std::cerr, "tarvel-flash",
                                    EUsage("the same device is named twice: " + port));
        fDevices.push_back(device);
    }
    return std::nullopt;
}

std::optional<int> TFlashRun::ReadImage()
{
    // The image is checked whole before any port is opened.
    std::error_code error;
    if (std::filesystem::is_directory(fOptions.File, error))
        return FileError(fOptions.File, "is a directory, not a firmware file");
    std::ifstream in(fOptions.File, std::ios::binary);
    if (!in) return FileError(fOptions.File, InOutErrorText(errno));
    fText.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) return FileError(fOptions.File, InOutErrorText(EIO));
    fSha256 = Sha256Hex(fText); // the file's, also when what is sent is its conversion
    if (auto exitCode = ConvertImage(fOptions, fText, fImageSha256)) return *exitCode;
    const TImageCheck check = CheckImage(fText, !fOptions.NoCheck);
    if (check.Error) return FileError(fOptions.File, *check.Error);
    if (check.SRecords && fImageSha256.empty())
        fImageSha256 = SRecordImageSha256(fText).value_or("");
    if (!fOptions.NoCheck && !check.SRecords && !fOptions.Quiet)
        std::cerr << "tarvel-flash: " << fOptions.File
                  << " is not made of S-records; it is sent unchecked\n";
    fProgress = std::make_unique<TProgressReport>(fOptions, fOptions.Ports.size(), fText.size());
    return std::nullopt;
}

std::optional<int> TFlashRun::OpenReports()
{
    // A rig that cannot keep its record learns it before the first board, not after.
    try {
        fReport = std::make_unique<TBoardReport>(fOptions.ReportPath, fOptions.JUnitPath);
    } catch (const std::system_error& e) {
        return FileError(fOptions.ReportPath, e.code().message());
    }
    return std::nullopt;
}

void TFlashRun::Record(const TBoard& board)
{
    if (fOptions.ReportPath.empty() && fOptions.JUnitPath.empty()) return;
    const TBoardRecord record{.TimeUtc = UtcTimeNow(),
                              .Station = fStation,
                              .Port = board.Port,
                              .UsbSerial = board.Serial,
                              .File = fOptions.File,
                              .Sha256 = fSha256,
                              .Result = ResultWord(board.Result),
                              .ExitCode = static_cast<int>(board.Result.Code),
                              .Seconds = board.Result.Seconds,
                              .Lines = board.Result.Lines,
                              .Bytes = BytesOfLines(fText, board.Result.Lines),
                              .Check = CheckText(board.Result),
                              .Message = board.Result.Message};
    if (const auto problem = fReport->Add(record))
        Say(std::cerr, "tarvel-flash: cannot keep the record: " + *problem + "\n");
}

std::optional<int> TFlashRun::WatchInterrupts()
{
    try {
        for (std::size_t i = 0; fOptions.Watch && i < fOptions.Ports.size(); ++i)
            fWatches.push_back(std::make_unique<TDeviceWatch>());
    } catch (const std::exception& e) {
        return ReportUsageError(std::cerr, "tarvel-flash",
                                EUsage(std::string("--watch: ") + e.what()));
    }
    fConsole.WatchInterrupts([this] {
        std::lock_guard lock(fRunningMutex);
        fInterrupted = true;
        for (TPortFlash* flash : fRunning)
            if (flash) flash->Interrupt();
        for (auto& watch : fWatches)
            watch->Stop();
    });
    return std::nullopt;
}

TBoard TFlashRun::FlashBoard(std::size_t i, const std::string& device, const std::string& log)
{
    TBoard board{fOptions.Ports[i], device, PortSerialNumber(device), {}};
    TPortFlash flash(fOptions, device, log, fProgress->For(i, fOptions.Ports[i]));
    {
        std::lock_guard lock(fRunningMutex);
        if (fInterrupted) {
            board.Result.Code = TExitCode::Interrupted;
            board.Result.Message = "interrupted before the transfer";
            return board;
        }
        fRunning[i] = &flash;
    }
    board.Result = flash.Run();
    std::lock_guard lock(fRunningMutex);
    fRunning[i] = nullptr;
    return board;
}

int TFlashRun::FlashOnce()
{
    std::vector<TBoard> boards(fOptions.Ports.size());
    {
        std::vector<std::thread> threads;
        for (std::size_t i = 0; i < fOptions.Ports.size(); ++i)
            threads.emplace_back([&, i] {
                std::string log = fOptions.LogPath;
                if (!log.empty() && fOptions.Ports.size() > 1) log += "." + std::to_string(i + 1);
                boards[i] = FlashBoard(i, fDevices[i], log);
                Record(boards[i]);
            });
        for (std::thread& thread : threads)
            thread.join();
    }
    fConsole.StopWatching();
    fProgress->EndLiveLine();

    TExitCode exitCode = TExitCode::Flashed;
    for (const TBoard& board : boards) {
        if (exitCode == TExitCode::Flashed) exitCode = board.Result.Code;
        if (board.Result.Code != TExitCode::Flashed || !fOptions.Quiet)
            Say(board.Result.Code == TExitCode::Flashed ? std::cout : std::cerr, ResultLine(board));
        if (fOptions.Json) Say(std::cout, JsonLine(board, fOptions, fSha256, fImageSha256, fText));
    }
    std::lock_guard lock(fRunningMutex);
    return static_cast<int>(fInterrupted ? TExitCode::Interrupted : exitCode);
}

int TFlashRun::FlashWhileWatching()
{
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < fOptions.Ports.size(); ++i)
        threads.emplace_back([this, i] { WatchPort(i); });
    for (std::thread& thread : threads)
        thread.join();
    fConsole.StopWatching();
    Say(std::cout,
        "boards passed " + std::to_string(fPassed) + ", failed " + std::to_string(fFailed) + "\n");
    return static_cast<int>(fFirstFailure);
}

// Board after board on one port, until Ctrl-C.
void TFlashRun::WatchPort(std::size_t i)
{
    const std::string& name = fOptions.Ports[i];
    const bool byUsb = name == "auto" || name.rfind("usb:", 0) == 0;
    const std::string watched = byUsb ? std::string("/dev/tty") : name;
    try {
        WatchBoards(i, name, watched);
    } catch (const std::system_error& e) { // Windows: the watch's window could not be made
        Say(std::cerr, "tarvel-flash: --watch " + name + ": " + e.what() + "\n");
        std::lock_guard lock(fCountMutex);
        if (fFirstFailure == TExitCode::Flashed) fFirstFailure = TExitCode::Usage;
    }
}

void TFlashRun::WatchBoards(std::size_t i, const std::string& name, const std::string& watched)
{
    for (;;) {
        std::string device;
        const bool arrived = fWatches[i]->WaitUntil(
            [&] {
                const TPortMatch match = FindPort(name);
                if (!match.Path || !SerialPortPresent(*match.Path)) return false;
                device = *match.Path;
                return true;
            },
            watched);
        if (!arrived) return;
        std::string log;
        if (!fOptions.LogPath.empty())
            log = fOptions.LogPath + "." + SafeForFileName(name) + "." +
                  SafeForFileName(PortSerialNumber(device)) + "." + SafeForFileName(Now());
        const TBoard board = FlashBoard(i, device, log);
        Record(board);
        if (board.Result.Code == TExitCode::Interrupted) return;
        CountBoard(board);
        // The next board is another board: wait until this one is unplugged.
        if (!fWatches[i]->WaitUntil([&] { return !SerialPortPresent(device); }, device)) return;
    }
}

void TFlashRun::CountBoard(const TBoard& board)
{
    std::lock_guard lock(fCountMutex);
    (board.Result.Code == TExitCode::Flashed ? fPassed : fFailed) += 1;
    if (fFirstFailure == TExitCode::Flashed) fFirstFailure = board.Result.Code;
    std::ostringstream line;
    line.precision(1);
    line << std::fixed << Now() << " " << board.Port << " serial "
         << (board.Serial.empty() ? "-" : board.Serial) << " " << ResultWord(board.Result) << " "
         << board.Result.Seconds << " s";
    if (board.Result.Code != TExitCode::Flashed)
        line << " (exit " << static_cast<int>(board.Result.Code) << "): " << board.Result.Message;
    line << "  [passed " << fPassed << ", failed " << fFailed << "]\n";
    Say(board.Result.Code == TExitCode::Flashed ? std::cout : std::cerr, line.str());
    if (fOptions.Json) Say(std::cout, JsonLine(board, fOptions, fSha256, fImageSha256, fText));
}

} // namespace

int main(int argc, char** argv)
{
    TConsole console; // before any thread exists

    TLocalizationModule localization(
        {.ExecutablePath = {},
         .ReportError = [](const std::string& m) { std::cerr << "tarvel-flash: " << m << '\n'; }});

    const std::vector<std::string> owned(argv + 1, argv + argc);
    const std::vector<std::string_view> arguments(owned.begin(), owned.end());
    TFlashOptions options;
    if (const std::optional<int> exitCode =
            ReadCommandLine(options, "tarvel-flash", arguments, ParseFlashCommandLine, FlashUsage))
        return *exitCode;
    if (options.ShowVersion) {
        std::cout << "tarvel-flash " << TARVEL_VERSION << '\n';
        return 0;
    }

    TFlashRun run(console, options);
    if (auto exitCode = run.ResolvePorts()) return *exitCode;
    if (auto exitCode = run.ReadImage()) return *exitCode;
    if (auto exitCode = run.OpenReports()) return *exitCode;
    if (auto exitCode = run.WatchInterrupts()) return *exitCode;
    return options.Watch ? run.FlashWhileWatching() : run.FlashOnce();
}
