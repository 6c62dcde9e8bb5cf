#include "tests/terminal/TRefusedTmpFile.h"

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <dlfcn.h>
#include <fcntl.h>

namespace {

std::atomic<int> Refusal{0}; // the error, or 0 while nameless files are made

} // namespace

// Comes before the C library's for every call in this program.
extern "C" int open(const char* path, int flags, ...)
{
    mode_t mode = 0;
    if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) {
        va_list arguments;
        va_start(arguments, flags);
        mode = static_cast<mode_t>(va_arg(arguments, int));
        va_end(arguments);
    }
    if ((flags & O_TMPFILE) == O_TMPFILE && Refusal.load() != 0) {
        errno = Refusal.load();
        return -1;
    }
    using TKernelOpen = int (*)(const char*, int, ...);
    static const auto kernel = reinterpret_cast<TKernelOpen>(::dlsym(RTLD_NEXT, "open"));
    return kernel(path, flags, mode);
}

TRefusedTmpFile::TRefusedTmpFile(int error)
{
    Refusal.store(error);
}

TRefusedTmpFile::~TRefusedTmpFile()
{
    Refusal.store(0);
}
