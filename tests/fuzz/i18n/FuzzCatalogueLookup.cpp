// libFuzzer target: the bytes are a message catalogue file; it is mapped and searched like any
// catalogue found on disk. Errors are expected; reads outside the file and crashes are not.
#include "i18n/TDomain.h"
#include "i18n/TMappedFile.h"

#include "tests/fuzz/i18n/FuzzScratchDirectory.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/stat.h>

namespace {
std::string CatalogueRoot;
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    CatalogueRoot = MakeFuzzScratchDirectory("/tmp/tarvel-fuzz-catalogue-XXXXXX");
    for (const char* dir : {"/xx", "/xx/LC_MESSAGES"})
        ::mkdir((CatalogueRoot + dir).c_str(), 0700);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    WriteFuzzFile(CatalogueRoot + "/xx/LC_MESSAGES/default.mo", data, size);
    TDomain domain;
    domain.SetDomainName("default");
    domain.SetCatalogueDir(CatalogueRoot);
    domain.SetLanguage("xx_YY");
    // A key made of the input's last bytes reaches deep into the comparisons now and then.
    const std::size_t tail = size < 12 ? size : 12;
    const std::string keys[] = {
        "", "Cancel", "OK", "\xff\xff\xff",
        std::string(reinterpret_cast<const char*>(data + size - tail), tail)};
    for (const std::string& key : keys) {
        try {
            const std::string answer = domain.Lookup(key);
            if (answer.size() > size && answer != key)
                std::abort(); // a translation can only come out of the file
        } catch (const EInOutError&) {
        }
    }
    return 0;
}
