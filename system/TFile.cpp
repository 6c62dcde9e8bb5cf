#include "system/TFile.h"
#include "system/ErrnoError.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

TFileDescriptor Opened(const std::filesystem::path& path, int flags)
{
    TFileDescriptor fd(::open(path.c_str(), flags | O_CLOEXEC | O_NOCTTY, 0644));
    if (!fd.Valid()) throw ErrnoError("open");
    return fd;
}

// A regular file's size; a directory is refused with EISDIR, anything else without an end (a
// FIFO, /dev/zero) with EACCES.
std::uint64_t RegularFileSize(int fd)
{
    struct stat status
    {
    };
    if (::fstat(fd, &status) != 0) throw ErrnoError("fstat");
    if (!S_ISREG(status.st_mode)) {
        errno = S_ISDIR(status.st_mode) ? EISDIR : EACCES;
        throw ErrnoError("open");
    }
    return static_cast<std::uint64_t>(status.st_size);
}

} // namespace

TFile TFile::OpenForReading(const std::filesystem::path& path)
{
    // O_NONBLOCK keeps a FIFO without writer from freezing the caller at open; such files are
    // refused below anyway.
    TFile file(Opened(path, O_RDONLY | O_NONBLOCK));
    file.fSizeWhenOpened = RegularFileSize(file.fFd.Get());
    const int flags = ::fcntl(file.fFd.Get(), F_GETFL);
    if (flags >= 0) ::fcntl(file.fFd.Get(), F_SETFL, flags & ~O_NONBLOCK);
    return file;
}

TFile TFile::Create(const std::filesystem::path& path)
{
    return TFile(Opened(path, O_WRONLY | O_CREAT | O_TRUNC));
}

TFile TFile::CreateNew(const std::filesystem::path& path)
{
    return TFile(Opened(path, O_WRONLY | O_CREAT | O_EXCL));
}

TFile TFile::OpenForAppending(const std::filesystem::path& path, std::span<const char> firstLine)
{
    TFile file(Opened(path, O_WRONLY | O_APPEND | O_CREAT));
    file.fSizeWhenOpened = RegularFileSize(file.fFd.Get());
    if (file.fSizeWhenOpened == 0 && !firstLine.empty()) {
        // The size is looked at again under the lock: another writer may have just begun.
        if (::flock(file.fFd.Get(), LOCK_EX) != 0) throw ErrnoError("flock");
        struct stat status
        {
        };
        const bool empty = ::fstat(file.fFd.Get(), &status) == 0 && status.st_size == 0;
        try {
            if (empty) file.Write(firstLine);
        } catch (...) { // unlocked on every way out, then passed on
            ::flock(file.fFd.Get(), LOCK_UN);
            throw;
        }
        ::flock(file.fFd.Get(), LOCK_UN);
    }
    return file;
}

TFile TFile::OpenNameless(const std::filesystem::path& folder)
{
    TFileDescriptor fd(::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
    if (!fd.Valid() && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        std::string name = (folder / "tarvel-XXXXXX").string();
        fd.Reset(::mkostemp(name.data(), O_CLOEXEC));
        if (fd.Valid()) ::unlink(name.c_str());
    }
    if (!fd.Valid()) throw ErrnoError("Cannot make a file in '" + folder.string() + "'");
    return TFile(std::move(fd));
}

std::size_t TFile::Read(std::span<char> bytes)
{
    ssize_t n;
    do {
        n = ::read(fFd.Get(), bytes.data(), bytes.size());
    } while (n < 0 && errno == EINTR);
    if (n < 0) throw ErrnoError("read");
    return static_cast<std::size_t>(n);
}

void TFile::Write(std::span<const char> bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fFd.Get(), bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw ErrnoError("write");
        bytes = bytes.subspan(static_cast<std::size_t>(n));
    }
}

void TFile::Sync()
{
    if (::fsync(fFd.Get()) != 0) throw ErrnoError("fsync");
}

bool TFile::Removed() const
{
    struct stat status
    {
    };
    return ::fstat(fFd.Get(), &status) == 0 && status.st_nlink == 0;
}

void TFile::ReadAt(std::uint64_t offset, std::span<char> bytes) const
{
    while (!bytes.empty()) {
        const ssize_t n =
            ::pread(fFd.Get(), bytes.data(), bytes.size(), static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw ErrnoError("pread");
        if (n == 0) {
            errno = EIO; // shorter than what was written to it
            throw ErrnoError("pread");
        }
        bytes = bytes.subspan(static_cast<std::size_t>(n));
        offset += static_cast<std::uint64_t>(n);
    }
}

void TFile::WriteAt(std::uint64_t offset, std::span<const char> bytes)
{
    while (!bytes.empty()) {
        const ssize_t n =
            ::pwrite(fFd.Get(), bytes.data(), bytes.size(), static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw ErrnoError("pwrite");
        bytes = bytes.subspan(static_cast<std::size_t>(n));
        offset += static_cast<std::uint64_t>(n);
    }
}

void TFile::Truncate(std::uint64_t size)
{
    if (::ftruncate(fFd.Get(), static_cast<off_t>(size)) != 0) throw ErrnoError("ftruncate");
}
