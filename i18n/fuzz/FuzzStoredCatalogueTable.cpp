// libFuzzer target: the bytes are an executable file with a catalogue table; the first 8 bytes
// give the table's position (as the marker would). The table is scanned and its catalogues are
// used through a domain, so damaged records and offsets are exercised together.
#include "i18n/ECatalogueError.h"
#include "i18n/TDomain.h"
#include "i18n/TStoredCatalogues.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string Directory;

void WriteFile(const std::string& path, const uint8_t* data, std::size_t size)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) std::abort();
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written <= 0) std::abort();
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    ::close(fd);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    char pattern[] = "/tmp/tarvel-fuzz-table-XXXXXX";
    if (!::mkdtemp(pattern)) std::abort();
    Directory = std::string(pattern) + "/";
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(Directory, ignored);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size < 8) return 0;
    uint64_t first = 0;
    for (int i = 7; i >= 0; --i)
        first = (first << 8) | data[i];
    const std::string executable = Directory + "program";
    WriteFile(executable, data, size);

    TStoredCatalogues stored;
    stored.ScanTable(executable, first);
    if (stored.Count() > size / 24) std::abort(); // every record takes at least its 24 header bytes

    for (const char* language : {"de", "it", "fr"}) {
        const std::string path = Directory + "locale/" + language + "/LC_MESSAGES/default.mo";
        const auto location = stored.Locate(path);
        if (stored.Contains(path) != (location.File == executable)) std::abort();
        TDomain domain(&stored);
        domain.SetDomainName("default");
        domain.SetCatalogueDir(Directory + "locale");
        domain.SetLanguage(language);
        try {
            domain.Lookup("Cancel");
            domain.Lookup("");
        } catch (const ECatalogueError&) {
        }
    }
    return 0;
}
