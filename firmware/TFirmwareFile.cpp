#include "firmware/TFirmwareFile.h"

#include "firmware/EInOutError.h"
#include "i18n/Utf8Text.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The C library's descriptors on both platforms, so errors arrive as errno values either way.
#ifdef _WIN32
using TFileStatus = struct _stat64;
int OpenForReading(const std::string& path)
{
    return ::_wopen(PathFromUtf8(path).c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
}
int FileStatus(int fd, TFileStatus& status)
{
    return ::_fstat64(fd, &status);
}
void MakeBlocking(int) {}
#else
using TFileStatus = struct stat;
int OpenForReading(const std::string& path)
{
    // O_NONBLOCK keeps a FIFO without writer from freezing the window at open; such
    // files are refused below anyway.
    return ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
}
int FileStatus(int fd, TFileStatus& status)
{
    return ::fstat(fd, &status);
}
void MakeBlocking(int fd)
{
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
}
#endif

} // namespace

TFirmwareFile::TFirmwareFile(const std::string& path)
{
    fFd.Reset(OpenForReading(path));
    if (!fFd.Valid()) throw EInOutError::FromErrno(errno);

    TFileStatus st{};
    if (FileStatus(fFd.Get(), st) != 0) throw EInOutError::FromErrno(errno);
    // Only regular files have an end: a directory cannot be read as text, and a device
    // or pipe (/dev/zero, a FIFO) would feed an endless line or block the window.
    if (!S_ISREG(st.st_mode)) throw EInOutError::FromErrno(S_ISDIR(st.st_mode) ? EISDIR : EACCES);
    MakeBlocking(fFd.Get());
    fOpenedSize = static_cast<std::uint64_t>(st.st_size);
}

bool TFirmwareFile::Refill()
{
    if (fEndOfData) return false;
    long long n;
    do {
        n = ::read(fFd.Get(), fBuffer.data(), fBuffer.size());
    } while (n < 0 && errno == EINTR);
    if (n < 0) throw EInOutError::FromErrno(errno);
    fPos = 0;
    fEnd = static_cast<std::size_t>(n);
    fBytesFetched += static_cast<std::uint64_t>(n);
    // A file truncated while being read simply ends early.
    if (n == 0) fEndOfData = true;
    return n > 0;
}

bool TFirmwareFile::Eof()
{
    if (fPos == fEnd && !Refill()) return true;
    return fBuffer[fPos] == CtrlZ;
}

std::string TFirmwareFile::ReadLine()
{
    std::string line;
    for (;;) {
        if (fPos == fEnd && !Refill()) return line;
        const char* const begin = fBuffer.data() + fPos;
        const char* const end = fBuffer.data() + fEnd;
        for (const char* p = begin; p != end; ++p) {
            const char c = *p;
            if (c == '\n') {
                fPos = static_cast<std::size_t>(p + 1 - fBuffer.data());
                return line;
            }
            if (c == CtrlZ) {
                // Left in place so that Eof() reports the end from here on.
                fPos = static_cast<std::size_t>(p - fBuffer.data());
                return line;
            }
            if (c != '\r') line.push_back(c);
        }
        fPos = fEnd;
    }
}
