#include "widgets/TGauge.h"

#include "widgets/GaugePercent.h"
#include "widgets/GaugeRenderer.h"
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
    return ToPercent(static_cast<std::int64_t>(Progress_) - MinValue_,
                     static_cast<std::int64_t>(MaxValue_) - MinValue_);
}

void TGauge::SetProgress(int value)
{
    const int old = Percent();
    if (value < MinValue_)
        value = MinValue_;
    else if (value > MaxValue_)
        value = MaxValue_;
    if (value == Progress_) return;
    Progress_ = value;
    if (Percent() != old) repaint();
}

void TGauge::SetMinValue(int value)
{
    if (value == MinValue_) return;
    if (value > MaxValue_ && !Loading_)
        throw RangeError(-2147483647LL, static_cast<long long>(MaxValue_) - 1);
    MinValue_ = value;
    if (Progress_ < value) Progress_ = value;
    repaint();
}

void TGauge::SetMaxValue(int value)
{
    if (value == MaxValue_) return;
    if (value < MinValue_ && !Loading_)
        throw RangeError(static_cast<long long>(MinValue_) + 1, 2147483647LL);
    MaxValue_ = value;
    if (Progress_ > value) Progress_ = value;
    repaint();
}

void TGauge::SetKind(TGaugeKind value)
{
    if (value == Kind_) return;
    Kind_ = value;
    repaint();
}

void TGauge::SetShowText(bool value)
{
    if (value == ShowText_) return;
    ShowText_ = value;
    repaint();
}

void TGauge::SetBorderStyle(TBorderStyle value)
{
    if (value == BorderStyle_) return;
    BorderStyle_ = value;
    repaint();
}

void TGauge::SetForeColor(TColor value)
{
    if (value == ForeColor_) return;
    ForeColor_ = value;
    repaint();
}

void TGauge::SetBackColor(TColor value)
{
    if (value == BackColor_) return;
    BackColor_ = value;
    repaint();
}

TColor TGauge::Color() const
{
    return Color_ ? *Color_ : QColorToColor(palette().color(QPalette::Window));
}

void TGauge::SetColor(TColor value)
{
    if (Color_ && *Color_ == value) return;
    Color_ = value;
    repaint();
}

TGaugePicture TGauge::Picture() const
{
    TGaugePicture g;
    g.Size = size();
    g.Kind = Kind_;
    g.Percent = Percent();
    g.ShowText = ShowText_;
    g.BorderStyle = BorderStyle_;
    g.ForeColor = ColorToQColor(ForeColor_);
    g.BackColor = ColorToQColor(BackColor_);
    g.Color = Color_ ? ColorToQColor(*Color_) : palette().color(QPalette::Window);
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
