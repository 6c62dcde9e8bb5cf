#include "terminal/TSpillFile.h"
#include "system/ErrnoError.h"
#include "system/NamelessFile.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

TSpillFile::TSpillFile(const std::filesystem::path& folder)
{
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) throw std::system_error(error, "Cannot make the folder '" + folder.string() + "'");
    ::chmod(folder.c_str(), 0700);
    fFile = OpenNamelessFile(folder);
}

void TSpillFile::Write(std::uint64_t offset, std::span<const char> bytes)
{
    while (!bytes.empty()) {
        const ssize_t n =
            ::pwrite(fFile.Get(), bytes.data(), bytes.size(), static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw ErrnoError("Cannot write the terminal's file");
        bytes = bytes.subspan(static_cast<std::size_t>(n));
        offset += static_cast<std::uint64_t>(n);
    }
}

void TSpillFile::Read(std::uint64_t offset, std::span<char> bytes) const
{
    while (!bytes.empty()) {
        const ssize_t n =
            ::pread(fFile.Get(), bytes.data(), bytes.size(), static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw ErrnoError("Cannot read the terminal's file");
        if (n == 0) {
            errno = EIO; // shorter than what was written to it
            throw ErrnoError("Cannot read the terminal's file");
        }
        bytes = bytes.subspan(static_cast<std::size_t>(n));
        offset += static_cast<std::uint64_t>(n);
    }
}

void TSpillFile::Truncate(std::uint64_t size)
{
    if (::ftruncate(fFile.Get(), static_cast<off_t>(size)) != 0)
        throw ErrnoError("Cannot shorten the terminal's file");
}

std::filesystem::path TSpillFile::DefaultFolder()
{
    if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache && *cache == '/')
        return std::filesystem::path(cache) / "tarvel";
    if (const char* home = std::getenv("HOME"); home && *home)
        return std::filesystem::path(home) / ".cache" / "tarvel";
    return std::filesystem::temp_directory_path() / "tarvel";
}
