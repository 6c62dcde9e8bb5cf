#include "system/ErrnoError.h"
#include "system/TFile.h"

#include <cerrno>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

// The C library's descriptors, so that errors arrive as errno values as on Linux.

namespace {

TFileDescriptor Opened(const std::filesystem::path& path, int flags)
{
    TFileDescriptor fd(
        ::_wopen(path.c_str(), flags | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE));
    if (!fd.Valid()) throw ErrnoError("open");
    return fd;
}

// A regular file's size; a directory is refused with EISDIR, anything else with EACCES.
std::uint64_t RegularFileSize(int fd)
{
    struct _stat64 status
    {
    };
    if (::_fstat64(fd, &status) != 0) throw ErrnoError("fstat");
    if (!(status.st_mode & _S_IFREG)) {
        errno = (status.st_mode & _S_IFDIR) ? EISDIR : EACCES;
        throw ErrnoError("open");
    }
    return static_cast<std::uint64_t>(status.st_size);
}

} // namespace

TFile TFile::OpenForReading(const std::filesystem::path& path)
{
    TFile file(Opened(path, _O_RDONLY));
    file.fSizeWhenOpened = RegularFileSize(file.fFd.Get());
    return file;
}

TFile TFile::Create(const std::filesystem::path& path)
{
    return TFile(Opened(path, _O_WRONLY | _O_CREAT | _O_TRUNC));
}

TFile TFile::CreateNew(const std::filesystem::path& path)
{
    return TFile(Opened(path, _O_WRONLY | _O_CREAT | _O_EXCL));
}

TFile TFile::OpenForAppending(const std::filesystem::path& path, std::span<const char> firstLine)
{
    TFile file(Opened(path, _O_WRONLY | _O_APPEND | _O_CREAT));
    file.fSizeWhenOpened = RegularFileSize(file.fFd.Get());
    if (file.fSizeWhenOpened == 0) file.Write(firstLine);
    return file;
}

void TFile::Write(std::span<const char> bytes)
{
    while (!bytes.empty()) {
        const int n = ::_write(fFd.Get(), bytes.data(), static_cast<unsigned>(bytes.size()));
        if (n < 0) throw ErrnoError("write");
        bytes = bytes.subspan(static_cast<std::size_t>(n));
    }
}

void TFile::Sync()
{
    if (::_commit(fFd.Get()) != 0) throw ErrnoError("fsync");
}

bool TFile::Removed() const
{
    // A file the C library opened is not shared for deletion: neither it nor its folder can be
    // removed while it is open.
    return false;
}

std::size_t TFile::Read(std::span<char> bytes)
{
    const int n = ::_read(fFd.Get(), bytes.data(), static_cast<unsigned>(bytes.size()));
    if (n < 0) throw ErrnoError("read");
    return static_cast<std::size_t>(n);
}
