#include "widgets/TpelLed.h"

#include "widgets/TPixelMask.h"

#include <QPainter>
#include <algorithm>

TpelLed::TpelLed(QWidget* parent) : QWidget(parent), FlashTimer_(this)
{
    connect(&FlashTimer_, &QTimer::timeout, this, &TpelLed::FlashTimerTick);
    FlashTimer_.setInterval(Frequency_);
    resize(24, 24);
}

TpelLed::~TpelLed()
{
    FlashTimer_.stop();
}

void TpelLed::SetTimerEnabled(bool enabled)
{
    TimerEnabled_ = enabled;
    // A zero or negative interval means "never tick" here; Qt would otherwise fire a
    // zero-interval timer on every pass of the event loop and burn the CPU.
    if (TimerEnabled_ && Frequency_ > 0)
        FlashTimer_.start(Frequency_);
    else
        FlashTimer_.stop();
}

void TpelLed::SetOnColor(TColor value)
{
    if (value == OnColor_) return;
    OnColor_ = value;
    repaint();
}

void TpelLed::SetOffColor(TColor value)
{
    if (value == OffColor_) return;
    OffColor_ = value;
    repaint();
}

void TpelLed::SetLedOn(bool value)
{
    if (value == LedOn_) return;
    LedOn_ = value;
    SetTimerEnabled(value && Flashing_);
    repaint();
    DoChange();
}

void TpelLed::SetFlashing(bool value)
{
    if (value == Flashing_) return;
    Flashing_ = value;
    SetTimerEnabled(value);
}

void TpelLed::SetFrequency(int value)
{
    if (value == Frequency_) return;
    Frequency_ = value;
    if (value > 0) FlashTimer_.setInterval(value); // restarts a running timer
    SetTimerEnabled(TimerEnabled_);
}

void TpelLed::SetBorderStyle(TBorderStyle value)
{
    if (value == BorderStyle_) return;
    BorderStyle_ = value;
    repaint();
}

void TpelLed::DoChange()
{
    if (OnChange_) OnChange_(this);
}

void TpelLed::FlashTimerTick()
{
    if (!LedOn_) return;
    FlashPhase_ = !FlashPhase_;
    update();
}

TColor TpelLed::FillColor() const
{
    if (!Flashing_) return LedOn_ ? OnColor_ : OffColor_;
    return LedOn_ && FlashPhase_ ? OnColor_ : OffColor_;
}

void TpelLed::DrawLed(QPainter& painter, int width, int height, const QColor& fill)
{
    const int d = std::min(width, height) / 5;
    // Same pen and brush colour: the body has no rim.
    TPixelMask::Ellipse(TBox{0, 0, width, height}).Paint(painter, fill);
    // Upper-left quarter of the inner ellipse, cut off by the line from its top point to
    // its left point.
    TPixelMask::Chord(TBox{d, d, width - d, height - d}, QPoint(width / 2, d),
                      QPoint(d, height / 2))
        .Paint(painter, Qt::white);
}

void TpelLed::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    DrawLed(p, width(), height(), ColorToQColor(FillColor()));
}
