#include "widgets/TColor.h"

#include <QColor>
#include <QGuiApplication>
#include <QPalette>

namespace {

QColor SystemColor(unsigned index)
{
    const QPalette pal = QGuiApplication::palette();
    switch (index) {
    case 0:
        return pal.color(QPalette::Mid); // scroll bar
    case 1:
        return pal.color(QPalette::Dark); // desktop
    case 2:
        return pal.color(QPalette::Active, QPalette::Highlight);
    case 3:
        return pal.color(QPalette::Inactive, QPalette::Highlight);
    case 4:
        return pal.color(QPalette::Window); // menu
    case 5:
        return pal.color(QPalette::Base); // window
    case 6:
        return pal.color(QPalette::Shadow); // window frame
    case 7:
        return pal.color(QPalette::WindowText); // menu text
    case 8:
        return pal.color(QPalette::Text); // window text
    case 9:
        return pal.color(QPalette::Active, QPalette::HighlightedText);
    case 10:
        return pal.color(QPalette::Window); // active border
    case 11:
        return pal.color(QPalette::Window); // inactive border
    case 12:
        return pal.color(QPalette::Dark); // MDI workspace
    case 13:
        return pal.color(QPalette::Highlight);
    case 14:
        return pal.color(QPalette::HighlightedText);
    case 15:
        return pal.color(QPalette::Button);
    case 16:
        return pal.color(QPalette::Dark); // button shadow
    case 17:
        return pal.color(QPalette::Disabled, QPalette::Text);
    case 18:
        return pal.color(QPalette::ButtonText);
    case 19:
        return pal.color(QPalette::Inactive, QPalette::HighlightedText);
    case 20:
        return pal.color(QPalette::Light); // button highlight
    case 21:
        return pal.color(QPalette::Shadow);
    case 22:
        return pal.color(QPalette::Midlight);
    case 23:
        return pal.color(QPalette::ToolTipText);
    case 24:
        return pal.color(QPalette::ToolTipBase);
    default:
        return QColor(Qt::black);
    }
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
