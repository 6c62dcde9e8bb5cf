#include "terminal/TSpillFile.h"
#include "system/ErrnoError.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace {

int CreateNameless(const std::filesystem::path& folder)
{
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) return fd;
    // A file system without O_TMPFILE: a name that is removed at once.
    std::string name = (folder / "tarvel-XXXXXX").string();
    const int named = ::mkostemp(name.data(), O_CLOEXEC);
    if (named >= 0) ::unlink(name.c_str());
    return named;
}

} // namespace

TSpillFile::TSpillFile(const std::filesystem::path& folder)
{
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) throw std::system_error(error, "Cannot make the folder '" + folder.string() + "'");
    ::chmod(folder.c_str(), 0700);
    fFile.Reset(CreateNameless(folder));
    if (!fFile.Valid()) throw ErrnoError("Cannot make a file in '" + folder.string() + "'");
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
