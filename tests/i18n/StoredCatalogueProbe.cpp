// Test helper: reads the catalogue table stored in its own executable file and answers lookups
// in the domain "default" for the language in argv[1], one line per key in argv[2...].
#include "i18n/ExecutablePath.h"
#include "i18n/TDomain.h"
#include "i18n/TMappedFile.h"
#include "i18n/TStoredCatalogues.h"

#include <iostream>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::cerr << "usage: " << argv[0] << " LANGUAGE KEY...\n";
        return 2;
    }
    const std::string executable = CurrentExecutablePath();
    TStoredCatalogues stored;
    stored.Scan(executable);
    std::cout << "stored " << stored.Count() << '\n';

    TDomain domain(&stored);
    domain.SetDomainName("default");
    domain.SetCatalogueDir(executable.substr(0, executable.rfind('/') + 1) + "locale");
    domain.SetLanguage(argv[1]);
    for (int i = 2; i < argc; ++i) {
        try {
            std::cout << domain.Lookup(argv[i]) << '\n';
        } catch (const EInOutError& error) {
            std::cout << "error: " << error.what() << '\n';
        }
    }
    return 0;
}
