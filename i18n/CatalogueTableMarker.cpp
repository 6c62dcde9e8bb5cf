#include "i18n/CatalogueTableMarker.h"

#include <string>

// Kept in a section of its own, marked used and read through volatile so that the bytes reach
// the executable file unchanged and the packaging tool's patch is what the program reads.
extern "C" {
__attribute__((used, section(".tarvel_catalogue_marker"))) volatile const unsigned char
    TarvelCatalogueTableMarker[CatalogueTableMarkerSize] =
        "6637DB2E-62E1-4A60-AC19-C23867046A89\0\0\0\0\0\0\0";
}

std::string_view CatalogueTableMarkerText()
{
    static const std::string text = [] {
        std::string t(CatalogueTableMarkerTextSize, '\0');
        for (std::size_t i = 0; i < CatalogueTableMarkerTextSize; ++i)
            t[i] = static_cast<char>(TarvelCatalogueTableMarker[i]);
        return t;
    }();
    return text;
}

uint64_t CatalogueTablePosition()
{
    uint64_t position = 0;
    for (std::size_t i = CatalogueTableMarkerSize; i-- > CatalogueTableMarkerTextSize;)
        position = (position << 8) | TarvelCatalogueTableMarker[i];
    return position;
}
