#include "window/TSessionLog.h"

#include "system/CalendarTime.h"
#include "system/Environment.h"
#include "system/TFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <system_error>
#include <utility>

namespace {

class TSystemLogFile final : public ISessionLogFile
{
public:
    explicit TSystemLogFile(TFile file) : fFile(std::move(file)) {}

    void Write(std::string_view bytes) override
    {
        fFile.Write(bytes);
        // Writing to a file whose folder was removed succeeds and keeps nothing.
        if (fFile.Removed())
            throw std::system_error(ENOENT, std::generic_category(), "the file was removed");
    }

private:
    TFile fFile;
};

// Takes enough names for any number of reconnects within one second.
constexpr int MostAttempts = 1000;

} // namespace

TSessionLog::TSessionLog(TFileMaker makeFile) : fMakeFile(std::move(makeFile)) {}

std::optional<std::string> TSessionLog::SetEnabled(bool on)
{
    if (on == fEnabled) return std::nullopt;
    fEnabled = on;
    if (!on) {
        fFile.reset();
        fCurrentFile.clear();
        return std::nullopt;
    }
    return fPort ? Start() : std::nullopt;
}

std::optional<std::string> TSessionLog::Connected(std::string_view port)
{
    fPort = std::string(port);
    return fEnabled ? Start() : std::nullopt;
}

std::optional<std::string> TSessionLog::Start()
{
    fFile.reset();
    fCurrentFile.clear();
    std::error_code made;
    std::filesystem::create_directories(fFolder, made);
    if (made) return fFolder.string() + ": " + made.message();
    const std::tm local = LocalCalendarTime(std::time(nullptr));
    for (int attempt = 1; attempt <= MostAttempts; ++attempt) {
        const std::filesystem::path path = fFolder / FileName(*fPort, local, attempt);
        try {
            fFile = fMakeFile(path);
            fCurrentFile = path;
            return std::nullopt;
        } catch (const std::system_error& failure) {
            if (failure.code() != std::errc::file_exists)
                return path.string() + ": " + failure.what();
        }
    }
    return (fFolder / FileName(*fPort, local, 1)).string() + ": " +
           std::make_error_code(std::errc::file_exists).message();
}

std::optional<std::string> TSessionLog::Write(std::string_view bytes)
{
    if (!fFile) return std::nullopt;
    try {
        fFile->Write(bytes);
        return std::nullopt;
    } catch (const std::system_error& failure) {
        fFile.reset();
        return std::exchange(fCurrentFile, {}).string() + ": " + failure.what();
    }
}

void TSessionLog::Disconnected()
{
    fPort.reset();
    fFile.reset();
    fCurrentFile.clear();
}

std::string TSessionLog::SafePortName(std::string_view port)
{
    std::string name;
    if (const auto scheme = port.find("://"); scheme != std::string_view::npos) {
        name = std::string(port.substr(0, scheme)) + "_" + std::string(port.substr(scheme + 3));
    } else {
        const auto slash = port.find_last_of("/\\");
        name = std::string(slash == std::string_view::npos ? port : port.substr(slash + 1));
    }
    for (char& c : name) {
        const bool safe = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                          (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
        if (!safe) c = '_';
    }
    // "." and ".." name folders, not files.
    if (name.empty() || name.find_first_not_of('.') == std::string::npos) name = "port" + name;
    return name;
}

std::string TSessionLog::FileName(std::string_view port, const std::tm& local, int attempt)
{
    char stamp[64]; // room for any year the type can hold
    std::snprintf(stamp, sizeof stamp, "-%04d%02d%02d-%02d%02d%02d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    std::string name = SafePortName(port) + stamp;
    if (attempt > 1) name += "-" + std::to_string(attempt);
    return name + ".log";
}

bool TSessionLog::IsLogName(std::string_view name)
{
    static const std::regex pattern(R"([A-Za-z0-9._-]+-[0-9]{8}-[0-9]{6}(-[0-9]+)?\.log)");
    return std::regex_match(name.begin(), name.end(), pattern);
}

std::filesystem::path TSessionLog::DefaultFolder(const TEnvironment& environment, bool windows)
{
    if (windows) {
        const auto local = environment("LOCALAPPDATA");
        return std::filesystem::path(local.value_or(".")) / "Tarvel" / "logs";
    }
    const auto state = environment("XDG_STATE_HOME");
    if (state && !state->empty() && state->front() == '/')
        return std::filesystem::path(*state) / "tarvel" / "logs";
    const auto home = environment("HOME");
    return std::filesystem::path(home.value_or(".")) / ".local" / "state" / "tarvel" / "logs";
}

std::filesystem::path TSessionLog::DefaultFolder()
{
    return DefaultFolder(EnvironmentVariable, WindowsFolders);
}

std::size_t TSessionLog::Prune(const std::filesystem::path& folder, int days,
                               std::filesystem::file_time_type now)
{
    const auto oldest = now - std::chrono::hours(24) * std::max(days, 0);
    std::size_t removed = 0;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        std::error_code entryError;
        if (!it->is_regular_file(entryError) || !IsLogName(it->path().filename().string()))
            continue;
        const auto written = it->last_write_time(entryError);
        if (entryError || written >= oldest) continue;
        if (std::filesystem::remove(it->path(), entryError)) ++removed;
    }
    return removed;
}

std::unique_ptr<ISessionLogFile> TSessionLog::MakeFile(const std::filesystem::path& path)
{
    return std::make_unique<TSystemLogFile>(TFile::CreateNew(path));
}
