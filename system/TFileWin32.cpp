#include "system/ErrnoError.h"
#include "system/TFile.h"
#include "system/TWin32Handle.h"
#include "system/Win32Error.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <io.h>
#include <string>
#include <sys/stat.h>
#include <windows.h>

// The C library's descriptors, so that errors arrive as errno values as on Linux. Reads and
// writes at an offset, the size and the nameless file use the handle beneath, through the
// Windows API, whose codes their errors carry.

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

HANDLE HandleOf(int fd)
{
    return reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
}

// At most what one ReadFile or WriteFile takes.
DWORD Chunk(std::size_t size)
{
    return static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
}

OVERLAPPED At(std::uint64_t offset)
{
    OVERLAPPED overlapped{};
    overlapped.Offset = static_cast<DWORD>(offset);
    overlapped.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return overlapped;
}

std::system_error Win32CodeError(DWORD code, const std::string& what)
{
    return std::system_error(static_cast<int>(code), Win32Category(), what);
}

// A name no other call of this process has used; one that exists anyway is skipped by the caller.
std::wstring NamelessName()
{
    static std::atomic<unsigned> counter{0};
    LARGE_INTEGER now{};
    ::QueryPerformanceCounter(&now);
    return L"tarvel-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
           std::to_wstring(counter.fetch_add(1)) + L"-" +
           std::to_wstring(static_cast<unsigned long long>(now.QuadPart)) + L".tmp";
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

TFile TFile::OpenNameless(const std::filesystem::path& folder)
{
    // Not shared with anyone, so no other program reads it, and deleted by the system when its
    // handle is closed, by the program or by the system at the program's end.
    TWin32Handle handle;
    DWORD error = ERROR_FILE_EXISTS;
    for (int attempt = 0; attempt < 100 && error == ERROR_FILE_EXISTS; ++attempt) {
        handle.Reset(::CreateFileW((folder / NamelessName()).c_str(),
                                   GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
        error = handle.Valid() ? ERROR_SUCCESS : ::GetLastError();
    }
    const std::string what = "Cannot make a file in '" + folder.string() + "'";
    if (!handle.Valid()) throw Win32CodeError(error, what);
    // The descriptor owns the handle from here: closing it closes the handle.
    TFileDescriptor fd(::_open_osfhandle(reinterpret_cast<intptr_t>(handle.Get()), _O_BINARY));
    if (!fd.Valid()) throw ErrnoError(what);
    handle.Release();
    return TFile(std::move(fd));
}

void TFile::ReadAt(std::uint64_t offset, std::span<char> bytes) const
{
    while (!bytes.empty()) {
        OVERLAPPED overlapped = At(offset);
        DWORD n = 0;
        if (!::ReadFile(HandleOf(fFd.Get()), bytes.data(), Chunk(bytes.size()), &n, &overlapped)) {
            const DWORD error = ::GetLastError();
            if (error != ERROR_HANDLE_EOF) throw Win32CodeError(error, "ReadFile");
            n = 0;
        }
        if (n == 0) // shorter than what was written to it
            throw std::system_error(std::make_error_code(std::errc::io_error), "ReadFile");
        bytes = bytes.subspan(n);
        offset += n;
    }
}

void TFile::WriteAt(std::uint64_t offset, std::span<const char> bytes)
{
    while (!bytes.empty()) {
        OVERLAPPED overlapped = At(offset);
        DWORD n = 0;
        if (!::WriteFile(HandleOf(fFd.Get()), bytes.data(), Chunk(bytes.size()), &n, &overlapped))
            throw Win32Error("WriteFile");
        bytes = bytes.subspan(n);
        offset += n;
    }
}

void TFile::Truncate(std::uint64_t size)
{
    const HANDLE handle = HandleOf(fFd.Get());
    LARGE_INTEGER end{};
    end.QuadPart = static_cast<LONGLONG>(size);
    if (!::SetFilePointerEx(handle, end, nullptr, FILE_BEGIN)) throw Win32Error("SetFilePointerEx");
    if (!::SetEndOfFile(handle)) throw Win32Error("SetEndOfFile");
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
