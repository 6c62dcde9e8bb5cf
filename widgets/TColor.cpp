#include "widgets/TColor.h"

#include <QColor>
#include <QGuiApplication>
#include <QPalette>

#include <iterator>

namespace {

// The system colours by index, as this toolkit's palette has them.
struct TSystemColorRole
{
    QPalette::ColorGroup Group;
    QPalette::ColorRole Role;
};
constexpr TSystemColorRole SystemColorRoles[] = {
    {QPalette::Current, QPalette::Mid},  // scroll bar
    {QPalette::Current, QPalette::Dark}, // desktop
    {QPalette::Active, QPalette::Highlight},
    {QPalette::Inactive, QPalette::Highlight},
    {QPalette::Current, QPalette::Window},     // menu
    {QPalette::Current, QPalette::Base},       // window
    {QPalette::Current, QPalette::Shadow},     // window frame
    {QPalette::Current, QPalette::WindowText}, // menu text
    {QPalette::Current, QPalette::Text},       // window text
    {QPalette::Active, QPalette::HighlightedText},
    {QPalette::Current, QPalette::Window}, // active border
    {QPalette::Current, QPalette::Window}, // inactive border
    {QPalette::Current, QPalette::Dark},   // MDI workspace
    {QPalette::Current, QPalette::Highlight},
    {QPalette::Current, QPalette::HighlightedText},
    {QPalette::Current, QPalette::Button},
    {QPalette::Current, QPalette::Dark}, // button shadow
    {QPalette::Disabled, QPalette::Text},
    {QPalette::Current, QPalette::ButtonText},
    {QPalette::Inactive, QPalette::HighlightedText},
    {QPalette::Current, QPalette::Light}, // button highlight
    {QPalette::Current, QPalette::Shadow},
    {QPalette::Current, QPalette::Midlight},
    {QPalette::Current, QPalette::ToolTipText},
    {QPalette::Current, QPalette::ToolTipBase},
};

QColor SystemColor(unsigned index)
{
    if (index >= std::size(SystemColorRoles)) return QColor(Qt::black);
    const TSystemColorRole entry = SystemColorRoles[index];
    return QGuiApplication::palette().color(entry.Group, entry.Role);
}

} // namespace

QColor ColorToQColor(TColor c)
{
    if (IsSystemColor(c)) return SystemColor(c & 0xFFu);
    return QColor(static_cast<int>(c & 0xFFu), static_cast<int>((c >> 8) & 0xFFu),
                  static_cast<int>((c >> 16) & 0xFFu));
}

TColor QColorToColor(const QColor& c)
{
    const QRgb rgb = c.rgb();
    return static_cast<TColor>(qRed(rgb)) | (static_cast<TColor>(qGreen(rgb)) << 8) |
           (static_cast<TColor>(qBlue(rgb)) << 16);
}
