#pragma once
// The log of every connection: each time a port opens, the bytes received until it closes go,
// exactly as they came, to a file of their own in the chosen folder,
// <port>-<YYYYMMDD>-<HHMMSS>.log (local time; -2, -3… when that name is taken). Each chunk is
// written when it arrives, so a crash loses nothing that was received. A log that cannot be
// written ends for that connection and says why once; reception is never held up by it. Logs
// older than the days to keep are removed by Prune, and by nothing else: other files in the
// folder are left alone.

#include <chrono>
#include <cstddef>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

// Where a log's bytes go.
class ISessionLogFile
{
public:
    virtual ~ISessionLogFile() = default;
    // All of bytes at the end; throws std::system_error (a full disk, the file removed).
    virtual void Write(std::string_view bytes) = 0;
};

class TSessionLog
{
public:
    // Makes the file at path, which must not exist yet: std::system_error with EEXIST if it does.
    using TFileMaker =
        std::function<std::unique_ptr<ISessionLogFile>(const std::filesystem::path&)>;
    using TEnvironment = std::function<std::optional<std::string>(const char* name)>;
    static constexpr int DefaultDaysToKeep = 30;

    explicit TSessionLog(TFileMaker makeFile = MakeFile);

    // Switching on while a port is open starts that connection's log at once; off ends it.
    // Either returns why a log could not be started, as Connected does.
    std::optional<std::string> SetEnabled(bool on);
    bool Enabled() const { return fEnabled; }
    void SetFolder(std::filesystem::path folder) { fFolder = std::move(folder); }
    const std::filesystem::path& Folder() const { return fFolder; }
    void SetDaysToKeep(int days) { fDaysToKeep = days; }
    int DaysToKeep() const { return fDaysToKeep; }

    // A port opened: its log starts (when switched on), the folder made if missing. Returns why
    // it could not start.
    std::optional<std::string> Connected(std::string_view port);
    // Bytes received: appended to the log. Returns why, the first time a write fails; the rest
    // of that connection is not logged.
    std::optional<std::string> Write(std::string_view bytes);
    void Disconnected();
    // The file being written; empty when none is.
    const std::filesystem::path& CurrentFile() const { return fCurrentFile; }

    // The port as part of a file name: a device's last path part, or a URL's scheme and the
    // rest joined by one '_', every character outside [A-Za-z0-9._-] made '_'.
    static std::string SafePortName(std::string_view port);
    // attempt 1 is the plain name; later ones add "-<attempt>".
    static std::string FileName(std::string_view port, const std::tm& local, int attempt);
    static bool IsLogName(std::string_view name);
    // %LOCALAPPDATA%\Tarvel\logs on Windows; elsewhere $XDG_STATE_HOME/tarvel/logs, or
    // ~/.local/state/tarvel/logs when that is unset or not absolute.
    static std::filesystem::path DefaultFolder(const TEnvironment& environment, bool windows);
    static std::filesystem::path DefaultFolder();
    // Removes the logs in folder last written before now less days; returns how many. A folder
    // that is missing or unreadable has none.
    static std::size_t Prune(const std::filesystem::path& folder, int days,
                             std::filesystem::file_time_type now);
    // A new file through system/TFile, which also tells a file removed while it is written.
    static std::unique_ptr<ISessionLogFile> MakeFile(const std::filesystem::path& path);

private:
    std::optional<std::string> Start();

    TFileMaker fMakeFile;
    bool fEnabled = false;
    std::filesystem::path fFolder;
    int fDaysToKeep = DefaultDaysToKeep;
    std::optional<std::string> fPort; // while a port is open
    std::unique_ptr<ISessionLogFile> fFile;
    std::filesystem::path fCurrentFile;
};
