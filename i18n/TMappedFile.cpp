#include "i18n/TMappedFile.h"

#include "i18n/TMappedFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>

namespace {

std::string SystemMessage(int error)
{
    std::string text = std::strerror(error);
    if (text.size() > 2000) text.resize(2000);
    return text;
}

} // namespace

TMappedFile::TMappedFile(const std::string& path)
{
    // Non-blocking so that a FIFO in a catalogue's place cannot stall the program.
    fFile = TFileDescriptor(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fFile.Valid()) throw ECatalogueError("Cannot open file " + path);

    // An empty file (or anything that is not a regular file) has nothing to map.
    struct stat info
    {
    };
    if (::fstat(fFile.Get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0)
        throw ECatalogueError("Cannot create memory map on file " + path);

    fLength = static_cast<std::size_t>(info.st_size);
    void* view = ::mmap(nullptr, fLength, PROT_READ, MAP_PRIVATE, fFile.Get(), 0);
    if (view == MAP_FAILED) {
        const int error = errno;
        throw ECatalogueError("Cannot map file " + path +
                              " into memory. Reason: " + SystemMessage(error));
    }
    fView = static_cast<const unsigned char*>(view);
}

TMappedFile::~TMappedFile()
{
    if (fView) ::munmap(const_cast<unsigned char*>(fView), fLength);
}
