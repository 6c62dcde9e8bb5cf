// libFuzzer target: the bytes are an executable file with a catalogue table; the first 8 bytes
// give the table's position (as the marker would). The table is scanned and its catalogues are
// used through a domain, so damaged records and offsets are exercised together.
#include "i18n/TDomain.h"
#include "i18n/TMappedFile.h"
#include "i18n/TStoredCatalogues.h"

#include "tests/fuzz/i18n/FuzzScratchDirectory.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {
std::string Directory;
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    Directory = MakeFuzzScratchDirectory("/tmp/tarvel-fuzz-table-XXXXXX") + "/";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size < 8) return 0;
    uint64_t first = 0;
    for (int i = 7; i >= 0; --i)
        first = (first << 8) | data[i];
    const std::string executable = Directory + "program";
    WriteFuzzFile(executable, data, size);

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
        } catch (const EInOutError&) {
        }
    }
    return 0;
}
