#include "widgets/TpelLed.h"

#include "widgets/PropertySetter.h"
#include "widgets/TPixelMask.h"

#include <QPainter>
#include <algorithm>

TpelLed::TpelLed(QWidget* parent) : QWidget(parent), fFlashTimer(this)
{
    connect(&fFlashTimer, &QTimer::timeout, this, &TpelLed::FlashTimerTick);
    fFlashTimer.setInterval(fFrequency);
    resize(24, 24);
}

TpelLed::~TpelLed()
{
    fFlashTimer.stop();
}

void TpelLed::SetTimerEnabled(bool enabled)
{
    fTimerEnabled = enabled;
    // A zero or negative interval means "never tick" here; Qt would otherwise fire a
    // zero-interval timer on every pass of the event loop and burn the CPU.
    if (fTimerEnabled && fFrequency > 0)
        fFlashTimer.start(fFrequency);
    else
        fFlashTimer.stop();
}

void TpelLed::SetOnColor(TColor value)
{
    if (ChangeProperty(fOnColor, value)) repaint();
}

void TpelLed::SetOffColor(TColor value)
{
    if (ChangeProperty(fOffColor, value)) repaint();
}

void TpelLed::SetLedOn(bool value)
{
    if (!ChangeProperty(fLedOn, value)) return;
    SetTimerEnabled(value && fFlashing);
    repaint();
    DoChange();
}

void TpelLed::SetFlashing(bool value)
{
    if (ChangeProperty(fFlashing, value)) SetTimerEnabled(value);
}

void TpelLed::SetFrequency(int value)
{
    if (value == fFrequency) return;
    fFrequency = value;
    if (value > 0) fFlashTimer.setInterval(value); // restarts a running timer
    SetTimerEnabled(fTimerEnabled);
}

void TpelLed::SetBorderStyle(TBorderStyle value)
{
    if (ChangeProperty(fBorderStyle, value)) repaint();
}

void TpelLed::DoChange()
{
    if (fOnChange) fOnChange(this);
}

void TpelLed::FlashTimerTick()
{
    if (!fLedOn) return;
    fFlashPhase = !fFlashPhase;
    update();
}

TColor TpelLed::FillColor() const
{
    if (!fFlashing) return fLedOn ? fOnColor : fOffColor;
    return fLedOn && fFlashPhase ? fOnColor : fOffColor;
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

const QImage& TpelLed::Picture(TColor color)
{
    TPicture& picture = color == fOnColor ? fLitPicture : fDarkPicture;
    if (picture.Image.size() != size() || picture.Color != color) {
        picture.Color = color;
        picture.Image = QImage(size(), QImage::Format_ARGB32_Premultiplied);
        picture.Image.fill(Qt::transparent); // outside the ellipse the parent shows through
        QPainter painter(&picture.Image);
        DrawLed(painter, width(), height(), ColorToQColor(color));
    }
    return picture.Image;
}

void TpelLed::paintEvent(QPaintEvent*)
{
    const QImage& picture = Picture(FillColor());
    QPainter p(this);
    p.drawImage(0, 0, picture);
}
