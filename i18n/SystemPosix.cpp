// Everything the catalogues ask of a POSIX system: the program's own path, the user's language,
// read-only mappings.
#include "i18n/ExecutablePath.h"
#include "i18n/SystemLanguage.h"
#include "i18n/TMappedFile.h"
#include "system/TFileDescriptor.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

std::string_view Environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? std::string_view(value) : std::string_view();
}

std::string SystemMessage(int error)
{
    std::string text = std::strerror(error);
    if (text.size() > 2000) text.resize(2000);
    return text;
}

} // namespace

std::string CurrentExecutablePath()
{
    std::vector<char> buffer(4096);
    for (;;) {
        const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) return {};
        if (static_cast<std::size_t>(length) < buffer.size())
            return std::string(buffer.data(), static_cast<std::size_t>(length));
        buffer.resize(buffer.size() * 2);
    }
}

std::string DetectSystemLanguage()
{
    // Debian keeps the system's locale in /etc/default/locale, systemd systems in
    // /etc/locale.conf; both are shell-style assignments.
    std::string systemDefault;
    for (const char* path : {"/etc/default/locale", "/etc/locale.conf"}) {
        std::ifstream config(path);
        if (!config) continue;
        std::ostringstream text;
        text << config.rdbuf();
        systemDefault = DefaultLocaleFromConfig(text.str());
        if (!systemDefault.empty()) break;
    }
    return SystemLanguageFrom(Environment("LC_ALL"), Environment("LC_MESSAGES"), systemDefault);
}

TMappedFile::TMappedFile(const std::string& path)
{
    // Non-blocking so that a FIFO in a catalogue's place cannot stall the program.
    const TFileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!file.Valid()) throw EInOutError(errno, "Cannot open file " + path);

    // An empty file (or anything that is not a regular file) has nothing to map.
    struct stat info
    {
    };
    if (::fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0)
        throw EInOutError(0, "Cannot create memory map on file " + path);

    fLength = static_cast<std::size_t>(info.st_size);
    void* view = ::mmap(nullptr, fLength, PROT_READ, MAP_PRIVATE, file.Get(), 0);
    if (view == MAP_FAILED) {
        const int error = errno;
        throw EInOutError(error, "Cannot map file " + path +
                                     " into memory. Reason: " + SystemMessage(error));
    }
    fView = static_cast<const unsigned char*>(view);
}

TMappedFile::~TMappedFile()
{
    if (fView) ::munmap(const_cast<unsigned char*>(fView), fLength);
}
