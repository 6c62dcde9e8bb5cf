#include "terminal/TSpillFile.h"

#include <cstdlib>
#include <sys/stat.h>
#include <system_error>

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
          ::chmod(folder.c_str(), 0700);
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
std::filesystem::path TSpillFile::DefaultFolder()
{
    if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache && *cache == '/')
        return std::filesystem::path(cache) / "tarvel";
    if (const char* home = std::getenv("HOME"); home && *home)
        return std::filesystem::path(home) / ".cache" / "tarvel";
    return std::filesystem::temp_directory_path() / "tarvel";
}
