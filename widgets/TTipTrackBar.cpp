#include "widgets/TTipTrackBar.h"

#include "widgets/PropertySetter.h"
#include <QEnterEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QToolTip>

namespace {

constexpr int TipGap = 4; // pixels between the thumb and the position tip

constexpr QPalette::ColorGroup HintGroups[] = {QPalette::Active, QPalette::Inactive,
                                               QPalette::Disabled};

void SetToolTipBase(const std::array<QColor, 3>& colours)
{
    QPalette pal = QToolTip::palette();
    for (size_t i = 0; i < colours.size(); ++i)
        pal.setColor(HintGroups[i], QPalette::ToolTipBase, colours[i]);
    // Qt also recolours a tool tip that is already on screen.
    QToolTip::setPalette(pal);
}

} // namespace

TTipTrackBar::TTipTrackBar(QWidget* parent) : QSlider(Qt::Horizontal, parent)
{
    setRange(0, 10);
    setValue(0);
    setSingleStep(1);
    setPageStep(2);
    // Each step of a move is reported as it happens; the end of the move adds nothing.
    setTracking(true);
    resize(150, 45);
    ApplyTicks();

    connect(this, &QAbstractSlider::sliderPressed, this, [this] {
        if (fToolTips) ShowPositionTip();
    });
    connect(this, &QAbstractSlider::sliderReleased, this, &TTipTrackBar::HidePositionTip);
}

void TTipTrackBar::sliderChange(SliderChange change)
{
    QSlider::sliderChange(change);
    if (change == SliderRangeChange && fTickStyle == tsManual) ApplyTicks(); // ends moved
    if (change != SliderValueChange) return;
    if (fToolTips && isSliderDown()) ShowPositionTip();
    // Called straight from the position change rather than through a signal, so that an
    // exception from the handler reaches the caller like any other error.
    if (fOnChange) fOnChange(this);
}

void TTipTrackBar::SetMin(int value)
{
    setMinimum(value);
}

void TTipTrackBar::SetMax(int value)
{
    setMaximum(value);
}

void TTipTrackBar::SetPosition(int value)
{
    setValue(value);
}

void TTipTrackBar::SetFrequency(int value)
{
    if (ChangeProperty(fFrequency, value)) ApplyTicks();
}

void TTipTrackBar::SetTickMarks(TTickMark value)
{
    if (ChangeProperty(fTickMarks, value)) ApplyTicks();
}

void TTipTrackBar::SetTickStyle(TTickStyle value)
{
    if (ChangeProperty(fTickStyle, value)) ApplyTicks();
}

void TTipTrackBar::ApplyTicks()
{
    if (fTickStyle == tsNone) {
        setTickPosition(QSlider::NoTicks);
        return;
    }
    switch (fTickMarks) {
    case tmBottomRight:
        setTickPosition(QSlider::TicksBelow);
        break;
    case tmTopLeft:
        setTickPosition(QSlider::TicksAbove);
        break;
    case tmBoth:
        setTickPosition(QSlider::TicksBothSides);
        break;
    }
    // Manual ticks have no counterpart in QSlider: mark only the two ends.
    const int interval = fTickStyle == tsAuto ? fFrequency : maximum() - minimum();
    setTickInterval(std::max(1, interval));
}

TTrackBarOrientation TTipTrackBar::Orientation() const
{
    return orientation() == Qt::Horizontal ? trHorizontal : trVertical;
}

void TTipTrackBar::SetOrientation(TTrackBarOrientation value)
{
    if (value == Orientation()) return;
    setOrientation(value == trHorizontal ? Qt::Horizontal : Qt::Vertical);
    // A vertical track bar has its minimum at the top.
    setInvertedAppearance(value == trVertical);
    if (fLiveToolTipSide) ApplyToolTipSide();
}

void TTipTrackBar::SetSelStart(int value)
{
    if (ChangeProperty(fSelStart, value)) update();
}

void TTipTrackBar::SetSelEnd(int value)
{
    if (ChangeProperty(fSelEnd, value)) update();
}

void TTipTrackBar::SetShowRange(bool value)
{
    if (ChangeProperty(fShowRange, value)) update();
}

void TTipTrackBar::SetToolTips(bool value)
{
    if (ChangeProperty(fToolTips, value) && !value) HidePositionTip();
}

void TTipTrackBar::SetToolTipSide(TTipTrackToolTipSide value)
{
    if (ChangeProperty(fToolTipSide, value)) ApplyToolTipSide();
}

void TTipTrackBar::ApplyToolTipSide()
{
    // Only a control that exists on screen has a live tip; before that the side is just
    // stored and taken over when the control is first shown.
    if (!testAttribute(Qt::WA_WState_Created)) return;
    fLiveToolTipSide = fToolTipSide;
    if (fPositionTip && fPositionTip->isVisible()) ShowPositionTip();
}

void TTipTrackBar::showEvent(QShowEvent* event)
{
    QSlider::showEvent(event);
    ApplyToolTipSide();
}

void TTipTrackBar::hideEvent(QHideEvent* event)
{
    HidePositionTip(); // a tip must not outlive its control on screen
    QSlider::hideEvent(event);
}

QString TTipTrackBar::ToolTipText()
{
    QString text = QString::number(Position());
    if (fOnToolTip) fOnToolTip(this, text);
    fLastToolTipText = text;
    return text;
}

QRect TTipTrackBar::ThumbRect() const
{
    QStyleOptionSlider opt;
    initStyleOption(&opt);
    return style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, this);
}

void TTipTrackBar::ShowPositionTip()
{
    if (!fPositionTip) {
        fPositionTip = new QLabel(this, Qt::ToolTip); // owned by the track bar
        fPositionTip->setMargin(2);
        fPositionTip->setAutoFillBackground(true);
    }
    QLabel& tip = *fPositionTip;
    tip.setPalette(QToolTip::palette());
    tip.setFont(QToolTip::font());
    tip.setText(ToolTipText());
    tip.adjustSize();

    const QRect handle = ThumbRect();
    const QSize size = tip.size();
    QPoint topLeft;
    switch (fLiveToolTipSide.value_or(tsTop)) {
    case tsLeft:
        topLeft =
            QPoint(handle.left() - TipGap - size.width(), handle.center().y() - size.height() / 2);
        break;
    case tsRight:
        topLeft = QPoint(handle.right() + 1 + TipGap, handle.center().y() - size.height() / 2);
        break;
    case tsTop:
        topLeft =
            QPoint(handle.center().x() - size.width() / 2, handle.top() - TipGap - size.height());
        break;
    case tsBottom:
        topLeft = QPoint(handle.center().x() - size.width() / 2, handle.bottom() + 1 + TipGap);
        break;
    }
    tip.move(mapToGlobal(topLeft));
    tip.show();
}

void TTipTrackBar::HidePositionTip()
{
    if (fPositionTip) fPositionTip->hide();
}

void TTipTrackBar::changeEvent(QEvent* event)
{
    QSlider::changeEvent(event);
    if (event->type() == QEvent::StyleChange && fOnCtl3DChanged) fOnCtl3DChanged(this);
    if (event->type() == QEvent::PaletteChange && fOnParentColorChange) fOnParentColorChange(this);
}

bool TTipTrackBar::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip && !fShowHint) {
        event->ignore();
        return true;
    }
    return QSlider::event(event);
}

void TTipTrackBar::enterEvent(QEnterEvent* event)
{
    QSlider::enterEvent(event);
    const QPalette pal = QToolTip::palette();
    for (size_t i = 0; i < fSavedHintColor.size(); ++i)
        fSavedHintColor[i] = pal.color(HintGroups[i], QPalette::ToolTipBase);
    const QColor hint = ColorToQColor(fHintColor);
    SetToolTipBase({hint, hint, hint});
    if (fOnMouseEnter) fOnMouseEnter(this);
}

void TTipTrackBar::leaveEvent(QEvent* event)
{
    QSlider::leaveEvent(event);
    if (fSavedHintColor[0].isValid()) SetToolTipBase(fSavedHintColor);
    if (fOnMouseLeave) fOnMouseLeave(this);
}

void TTipTrackBar::mousePressEvent(QMouseEvent* event)
{
    QSlider::mousePressEvent(event);
    if (fOnMouseDown)
        fOnMouseDown(this, event->button(), event->modifiers(), event->position().toPoint().x(),
                     event->position().toPoint().y());
}

void TTipTrackBar::mouseMoveEvent(QMouseEvent* event)
{
    QSlider::mouseMoveEvent(event);
    if (fOnMouseMove)
        fOnMouseMove(this, event->modifiers(), event->position().toPoint().x(),
                     event->position().toPoint().y());
}

void TTipTrackBar::mouseReleaseEvent(QMouseEvent* event)
{
    QSlider::mouseReleaseEvent(event);
    if (fOnMouseUp)
        fOnMouseUp(this, event->button(), event->modifiers(), event->position().toPoint().x(),
                   event->position().toPoint().y());
    // After every release, whether or not the position moved.
    if (fOnChanged) fOnChanged(this);
}

void TTipTrackBar::paintEvent(QPaintEvent* event)
{
    if (!fShowRange || fSelEnd <= fSelStart) {
        QSlider::paintEvent(event);
        return;
    }
    // Groove and ticks, then the range, then the thumb on top of it.
    QPainter p(this);
    QStyleOptionSlider opt;
    initStyleOption(&opt);
    opt.subControls = QStyle::SC_SliderGroove;
    if (tickPosition() != NoTicks) opt.subControls |= QStyle::SC_SliderTickmarks;
    style()->drawComplexControl(QStyle::CC_Slider, &opt, &p, this);

    const QRect groove =
        style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderGroove, this);
    const QRect handle = ThumbRect();
    const bool horizontal = orientation() == Qt::Horizontal;
    const int handleLength = horizontal ? handle.width() : handle.height();
    const int grooveStart = horizontal ? groove.x() : groove.y();
    const int span = (horizontal ? groove.width() : groove.height()) - handleLength;
    auto at = [&](int v) {
        return grooveStart + handleLength / 2 +
               QStyle::sliderPositionFromValue(minimum(), maximum(), v, span, opt.upsideDown);
    };
    const int a = at(fSelStart), b = at(fSelEnd);
    const int from = std::min(a, b), length = std::abs(b - a) + 1;
    const QColor colour = palette().color(QPalette::Highlight);
    if (horizontal) {
        const int h = std::max(2, groove.height() / 2);
        p.fillRect(QRect(from, groove.center().y() - h / 2, length, h), colour);
    } else {
        const int w = std::max(2, groove.width() / 2);
        p.fillRect(QRect(groove.center().x() - w / 2, from, w, length), colour);
    }

    opt.subControls = QStyle::SC_SliderHandle;
    style()->drawComplexControl(QStyle::CC_Slider, &opt, &p, this);
}
