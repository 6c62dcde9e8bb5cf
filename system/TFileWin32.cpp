#include "system/ErrnoError.h"
#include "system/TFile.h"

#include <cerrno>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

// The C library's descriptors, so that errors arrive as errno values as on Linux.

TFile TFile::OpenForReading(const std::filesystem::path& path)
{
    TFile file(TFileDescriptor(::_wopen(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT)));
    if (!file.fFd.Valid()) throw ErrnoError("open");
    struct _stat64 status
    {
    };
    if (::_fstat64(file.fFd.Get(), &status) != 0) throw ErrnoError("fstat");
    if (!(status.st_mode & _S_IFREG)) {
        errno = (status.st_mode & _S_IFDIR) ? EISDIR : EACCES;
        throw ErrnoError("open");
    }
    file.fSizeWhenOpened = static_cast<std::uint64_t>(status.st_size);
    return file;
}

TFile TFile::Create(const std::filesystem::path& path)
{
    TFile file(TFileDescriptor(::_wopen(path.c_str(),
                                        _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY | _O_NOINHERIT,
                                        _S_IREAD | _S_IWRITE)));
    if (!file.fFd.Valid()) throw ErrnoError("open");
    return file;
}

TFile TFile::CreateNew(const std::filesystem::path& path)
{
    TFile file(TFileDescriptor(::_wopen(path.c_str(),
                                        _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                                        _S_IREAD | _S_IWRITE)));
    if (!file.fFd.Valid()) throw ErrnoError("open");
    return file;
}

TFile TFile::OpenForAppending(const std::filesystem::path& path, std::span<const char> firstLine)
{
    TFile file(TFileDescriptor(::_wopen(path.c_str(),
                                        _O_WRONLY | _O_APPEND | _O_CREAT | _O_BINARY | _O_NOINHERIT,
                                        _S_IREAD | _S_IWRITE)));
    if (!file.fFd.Valid()) throw ErrnoError("open");
    struct _stat64 status
    {
    };
    if (::_fstat64(file.fFd.Get(), &status) != 0) throw ErrnoError("fstat");
    if (!(status.st_mode & _S_IFREG)) {
        errno = (status.st_mode & _S_IFDIR) ? EISDIR : EACCES;
        throw ErrnoError("open");
    }
    if (status.st_size == 0) file.Write(firstLine);
    file.fSizeWhenOpened = static_cast<std::uint64_t>(status.st_size);
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
