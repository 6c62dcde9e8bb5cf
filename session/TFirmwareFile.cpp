#include "session/TFirmwareFile.h"

#include "session/EInOutError.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

TFirmwareFile::TFirmwareFile(const std::string& path)
{
    // O_NONBLOCK keeps a FIFO without writer from freezing the window at open; such
    // files are refused below anyway.
    Fd.Reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!Fd.Valid()) throw EInOutError::FromErrno(errno);

    struct stat st
    {
    };
    if (::fstat(Fd.Get(), &st) != 0) throw EInOutError::FromErrno(errno);
    // Only regular files have an end: a directory cannot be read as text, and a device
    // or pipe (/dev/zero, a FIFO) would feed an endless line or block the window.
    if (!S_ISREG(st.st_mode)) throw EInOutError::FromErrno(S_ISDIR(st.st_mode) ? EISDIR : EACCES);
    const int flags = ::fcntl(Fd.Get(), F_GETFL);
    if (flags >= 0) ::fcntl(Fd.Get(), F_SETFL, flags & ~O_NONBLOCK);
    OpenedSize = static_cast<std::uint64_t>(st.st_size);
}

bool TFirmwareFile::Refill()
{
    if (EndOfData) return false;
    ssize_t n;
    do {
        n = ::read(Fd.Get(), Buffer.data(), Buffer.size());
    } while (n < 0 && errno == EINTR);
    if (n < 0) throw EInOutError::FromErrno(errno);
    Pos = 0;
    End = static_cast<std::size_t>(n);
    BytesFetched += static_cast<std::uint64_t>(n);
    // A file truncated while being read simply ends early.
    if (n == 0) EndOfData = true;
    return n > 0;
}

bool TFirmwareFile::Eof()
{
    if (Pos == End && !Refill()) return true;
    return Buffer[Pos] == CtrlZ;
}

std::string TFirmwareFile::ReadLine()
{
    std::string line;
    for (;;) {
        if (Pos == End && !Refill()) return line;
        const char* const begin = Buffer.data() + Pos;
        const char* const end = Buffer.data() + End;
        for (const char* p = begin; p != end; ++p) {
            const char c = *p;
            if (c == '\n') {
                Pos = static_cast<std::size_t>(p + 1 - Buffer.data());
                return line;
            }
            if (c == CtrlZ) {
                // Left in place so that Eof() reports the end from here on.
                Pos = static_cast<std::size_t>(p - Buffer.data());
                return line;
            }
            if (c != '\r') line.push_back(c);
        }
        Pos = End;
    }
}
