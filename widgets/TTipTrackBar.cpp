#include "widgets/TTipTrackBar.h"

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
        if (ToolTips_) ShowPositionTip();
    });
    connect(this, &QAbstractSlider::sliderReleased, this, &TTipTrackBar::HidePositionTip);
}

TTipTrackBar::~TTipTrackBar() = default;

void TTipTrackBar::sliderChange(SliderChange change)
{
    QSlider::sliderChange(change);
    if (change == SliderRangeChange && TickStyle_ == tsManual) ApplyTicks(); // ends moved
    if (change != SliderValueChange) return;
    if (ToolTips_ && isSliderDown()) ShowPositionTip();
    // Called straight from the position change rather than through a signal, so that an
    // exception from the handler reaches the caller like any other error.
    if (OnChange_) OnChange_(this);
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
    if (value == Frequency_) return;
    Frequency_ = value;
    ApplyTicks();
}

void TTipTrackBar::SetTickMarks(TTickMark value)
{
    if (value == TickMarks_) return;
    TickMarks_ = value;
    ApplyTicks();
}

void TTipTrackBar::SetTickStyle(TTickStyle value)
{
    if (value == TickStyle_) return;
    TickStyle_ = value;
    ApplyTicks();
}

void TTipTrackBar::ApplyTicks()
{
    if (TickStyle_ == tsNone) {
        setTickPosition(QSlider::NoTicks);
        return;
    }
    switch (TickMarks_) {
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
    const int interval = TickStyle_ == tsAuto ? Frequency_ : maximum() - minimum();
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
    if (LiveToolTipSide_) ApplyToolTipSide();
}

void TTipTrackBar::SetSelStart(int value)
{
    if (value == SelStart_) return;
    SelStart_ = value;
    update();
}

void TTipTrackBar::SetSelEnd(int value)
{
    if (value == SelEnd_) return;
    SelEnd_ = value;
    update();
}

void TTipTrackBar::SetShowRange(bool value)
{
    if (value == ShowRange_) return;
    ShowRange_ = value;
    update();
}

void TTipTrackBar::SetToolTips(bool value)
{
    if (value == ToolTips_) return;
    ToolTips_ = value;
    if (!value) HidePositionTip();
}

void TTipTrackBar::SetToolTipSide(TTipTrackToolTipSide value)
{
    if (value == ToolTipSide_) return;
    ToolTipSide_ = value;
    ApplyToolTipSide();
}

void TTipTrackBar::ApplyToolTipSide()
{
    // Only a control that exists on screen has a live tip; before that the side is just
    // stored and taken over when the control is first shown.
    if (!testAttribute(Qt::WA_WState_Created)) return;
    LiveToolTipSide_ = ToolTipSide_;
    if (PositionTip_ && PositionTip_->isVisible()) ShowPositionTip();
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
    if (OnToolTip_) OnToolTip_(this, text);
    LastToolTipText_ = text;
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
    if (!PositionTip_) {
        PositionTip_ = new QLabel(this, Qt::ToolTip); // owned by the track bar
        PositionTip_->setMargin(2);
        PositionTip_->setAutoFillBackground(true);
    }
    QLabel& tip = *PositionTip_;
    tip.setPalette(QToolTip::palette());
    tip.setFont(QToolTip::font());
    tip.setText(ToolTipText());
    tip.adjustSize();

    const QRect handle = ThumbRect();
    const QSize size = tip.size();
    QPoint topLeft;
    switch (LiveToolTipSide_.value_or(tsTop)) {
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
    if (PositionTip_) PositionTip_->hide();
}

void TTipTrackBar::changeEvent(QEvent* event)
{
    QSlider::changeEvent(event);
    if (event->type() == QEvent::StyleChange && OnCtl3DChanged_) OnCtl3DChanged_(this);
    if (event->type() == QEvent::PaletteChange && OnParentColorChange_) OnParentColorChange_(this);
}

bool TTipTrackBar::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip && !ShowHint_) {
        event->ignore();
        return true;
    }
    return QSlider::event(event);
}

void TTipTrackBar::enterEvent(QEnterEvent* event)
{
    QSlider::enterEvent(event);
    const QPalette pal = QToolTip::palette();
    for (size_t i = 0; i < SavedHintColor_.size(); ++i)
        SavedHintColor_[i] = pal.color(HintGroups[i], QPalette::ToolTipBase);
    const QColor hint = ColorToQColor(HintColor_);
    SetToolTipBase({hint, hint, hint});
    if (OnMouseEnter_) OnMouseEnter_(this);
}

void TTipTrackBar::leaveEvent(QEvent* event)
{
    QSlider::leaveEvent(event);
    if (SavedHintColor_[0].isValid()) SetToolTipBase(SavedHintColor_);
    if (OnMouseLeave_) OnMouseLeave_(this);
}

void TTipTrackBar::mousePressEvent(QMouseEvent* event)
{
    QSlider::mousePressEvent(event);
    if (OnMouseDown_)
        OnMouseDown_(this, event->button(), event->modifiers(), event->position().toPoint().x(),
                     event->position().toPoint().y());
}

void TTipTrackBar::mouseMoveEvent(QMouseEvent* event)
{
    QSlider::mouseMoveEvent(event);
    if (OnMouseMove_)
        OnMouseMove_(this, event->modifiers(), event->position().toPoint().x(),
                     event->position().toPoint().y());
}

void TTipTrackBar::mouseReleaseEvent(QMouseEvent* event)
{
    QSlider::mouseReleaseEvent(event);
    if (OnMouseUp_)
        OnMouseUp_(this, event->button(), event->modifiers(), event->position().toPoint().x(),
                   event->position().toPoint().y());
    // After every release, whether or not the position moved.
    if (OnChanged_) OnChanged_(this);
}

void TTipTrackBar::paintEvent(QPaintEvent* event)
{
    if (!ShowRange_ || SelEnd_ <= SelStart_) {
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
    const int a = at(SelStart_), b = at(SelEnd_);
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
