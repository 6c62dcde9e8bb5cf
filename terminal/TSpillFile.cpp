#include "terminal/TSpillFile.h"

#include "system/Environment.h"

#include <cstdlib>
#include <system_error>
#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

// The call's name says little to a user; what the terminal was doing says more.
template <typename TCall> void Doing(const char* what, TCall call)
{
    try {
        call();
    } catch (const std::system_error& error) {
        throw std::system_error(error.code(), what);
    }
}

} // namespace

TSpillFile::TSpillFile(const std::filesystem::path& folder)
    : fFile([&] {
          std::error_code error;
          std::filesystem::create_directories(folder, error);
          if (error)
              throw std::system_error(error, "Cannot make the folder '" + folder.string() + "'");
#ifndef _WIN32
          ::chmod(folder.c_str(), 0700);
#endif
          return TFile::OpenNameless(folder);
      }())
{
}

void TSpillFile::Write(std::uint64_t offset, std::span<const char> bytes)
{
    Doing("Cannot write the terminal's file", [&] { fFile.WriteAt(offset, bytes); });
}

void TSpillFile::Read(std::uint64_t offset, std::span<char> bytes) const
{
    Doing("Cannot read the terminal's file", [&] { fFile.ReadAt(offset, bytes); });
}

void TSpillFile::Truncate(std::uint64_t size)
{
    Doing("Cannot shorten the terminal's file", [&] { fFile.Truncate(size); });
}

std::filesystem::path TSpillFile::DefaultFolder(const TEnvironment& environment, bool windows)
{
    if (windows) {
        if (const auto local = environment("LOCALAPPDATA"); local && !local->empty())
            return std::filesystem::path(*local) / "Tarvel" / "cache";
        return std::filesystem::temp_directory_path() / "Tarvel";
    }
    if (const auto cache = environment("XDG_CACHE_HOME"); cache && cache->starts_with('/'))
        return std::filesystem::path(*cache) / "tarvel";
    if (const auto home = environment("HOME"); home && !home->empty())
        return std::filesystem::path(*home) / ".cache" / "tarvel";
    return std::filesystem::temp_directory_path() / "tarvel";
}

std::filesystem::path TSpillFile::DefaultFolder()
{
    return DefaultFolder(EnvironmentVariable, WindowsFolders);
}
