#include "widgets/TGauge.h"

#include "widgets/GaugePercent.h"
#include "widgets/GaugeRenderer.h"
#include "widgets/PropertySetter.h"
#include "widgets/TGauge.h"

#include <QPainter>
#include <climits>
#include <string>

namespace {

EInvalidOperation RangeError(long long low, long long high)
{
    return EInvalidOperation("Value must be between " + std::to_string(low) + " and " +
                             std::to_string(high));
}

} // namespace

TGauge::TGauge(QWidget* parent) : QWidget(parent)
{
    // Opaque: the picture covers the whole rectangle, so nothing is erased behind it
    // and a repaint draws straight over the old picture without flicker.
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(100, 100);
}

int TGauge::Percent() const
{
    // Differences in 64 bits: a range wider than the 32-bit signed range stays correct.
    return ToPercent(static_cast<std::int64_t>(fProgress) - fMinValue,
                     static_cast<std::int64_t>(fMaxValue) - fMinValue);
}

void TGauge::SetProgress(int value)
{
    const int old = Percent();
    if (value < fMinValue)
        value = fMinValue;
    else if (value > fMaxValue)
        value = fMaxValue;
    if (value == fProgress) return;
    fProgress = value;
    if (Percent() != old) repaint();
}

void TGauge::SetMinValue(int value)
{
    if (value == fMinValue) return;
    if (value > fMaxValue && !fLoading)
        throw RangeError(-2147483647LL, static_cast<long long>(fMaxValue) - 1);
    fMinValue = value;
    if (fProgress < value) fProgress = value;
    repaint();
}

void TGauge::SetMaxValue(int value)
{
    if (value == fMaxValue) return;
    if (value < fMinValue && !fLoading)
        throw RangeError(static_cast<long long>(fMinValue) + 1, 2147483647LL);
    fMaxValue = value;
    if (fProgress > value) fProgress = value;
    repaint();
}

void TGauge::SetKind(TGaugeKind value)
{
    if (ChangeProperty(fKind, value)) repaint();
}

void TGauge::SetShowText(bool value)
{
    if (ChangeProperty(fShowText, value)) repaint();
}

void TGauge::SetBorderStyle(TBorderStyle value)
{
    if (ChangeProperty(fBorderStyle, value)) repaint();
}

void TGauge::SetForeColor(TColor value)
{
    if (ChangeProperty(fForeColor, value)) repaint();
}

void TGauge::SetBackColor(TColor value)
{
    if (ChangeProperty(fBackColor, value)) repaint();
}

TColor TGauge::Color() const
{
    return fColor ? *fColor : QColorToColor(palette().color(QPalette::Window));
}

void TGauge::SetColor(TColor value)
{
    if (fColor && *fColor == value) return;
    fColor = value;
    repaint();
}

TGaugePicture TGauge::Picture() const
{
    TGaugePicture g;
    g.Size = size();
    g.Kind = fKind;
    g.Percent = Percent();
    g.ShowText = fShowText;
    g.BorderStyle = fBorderStyle;
    g.ForeColor = ColorToQColor(fForeColor);
    g.BackColor = ColorToQColor(fBackColor);
    g.Color = fColor ? ColorToQColor(*fColor) : palette().color(QPalette::Window);
    g.Font = font();
    return g;
}

void TGauge::paintEvent(QPaintEvent*)
{
    const QImage image = RenderGauge(Picture());
    if (image.isNull()) return;
    QPainter p(this);
    p.drawImage(0, 0, image);
}
