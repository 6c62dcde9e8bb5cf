#pragma once
#include <QFont>

// The window's typeface, "Comic Sans MS", at a character height in pixels. Where that family is
// not installed, the metric-compatible "Comic Neue" stands in for it (not fontconfig's guess).
QFont WindowFont(int pixelSize, bool bold = false);

// Registers the stand-in once, when "Comic Sans MS" is missing; WindowFont calls it.
void InstallWindowFontSubstitute();
