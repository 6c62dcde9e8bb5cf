#include "app/WindowFont.h"

#include <QFontDatabase>

namespace {
const QString WindowFamily = QStringLiteral("Comic Sans MS");
const QString SubstituteFamily = QStringLiteral("Comic Neue");
} // namespace

void InstallWindowFontSubstitute()
{
    static const bool installed = [] {
        if (!QFontDatabase::hasFamily(WindowFamily))
            QFont::insertSubstitution(WindowFamily, SubstituteFamily);
        return true;
    }();
    (void)installed;
}

QFont WindowFont(int pixelSize, bool bold)
{
    InstallWindowFontSubstitute();
    QFont font(WindowFamily);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}
