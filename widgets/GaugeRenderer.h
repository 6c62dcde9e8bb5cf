#pragma once
// Composes a gauge's picture off screen. Kept apart from the widget so that the picture
// is a function of plain values and can be checked pixel by pixel.
#include "widgets/TColor.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QSize>

enum TGaugeKind : std::uint8_t {
    gkText = 0,
    gkHorizontalBar = 1,
    gkVerticalBar = 2,
    gkPie = 3,
    gkNeedle = 4
};

struct TGaugePicture
{
    QSize Size;
    TGaugeKind Kind = gkHorizontalBar;
    int Percent = 0;
    bool ShowText = true;
    TBorderStyle BorderStyle = bsSingle;
    QColor ForeColor = Qt::black;
    QColor BackColor = Qt::white;
    QColor Color = Qt::lightGray; // background of the pie and needle kinds
    QFont Font;
};

// The figure is drawn in black surroundings (so a bordered gauge keeps a black ring),
// and the percentage text is XORed on, inverting whatever lies beneath it.
// Returns a null image for an empty size.
QImage RenderGauge(const TGaugePicture& picture);
