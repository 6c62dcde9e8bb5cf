#pragma once
// A slider with a selection range that can be hidden, a position tool tip beside the
// thumb while dragging, its own tool-tip colour while the mouse is over it, and a few
// extra notifications.
#include "widgets/TColor.h"

#include <QColor>
#include <QPointer>
#include <QSlider>
#include <QString>
#include <Qt>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>

#include <QLabel>

class QObject;

enum TTipTrackToolTipSide : std::uint8_t { tsLeft = 0, tsTop = 1, tsRight = 2, tsBottom = 3 };
enum TTickMark : std::uint8_t { tmBottomRight = 0, tmTopLeft = 1, tmBoth = 2 };
enum TTickStyle : std::uint8_t { tsNone = 0, tsAuto = 1, tsManual = 2 };
enum TTrackBarOrientation : std::uint8_t { trHorizontal = 0, trVertical = 1 };

// The handler may replace the text the position tool tip shows.
using TTipTrackToolTipEvent = std::function<void(QObject* Sender, QString& ToolTipText)>;
using TMouseEvent = std::function<void(QObject* Sender, Qt::MouseButton Button,
                                       Qt::KeyboardModifiers Shift, int X, int Y)>;
using TMouseMoveEvent =
    std::function<void(QObject* Sender, Qt::KeyboardModifiers Shift, int X, int Y)>;

class TTipTrackBar : public QSlider
{
    Q_OBJECT
public:
    using TNotifyEvent = std::function<void(QObject* Sender)>;

    explicit TTipTrackBar(QWidget* parent = nullptr);

    // Slider properties under their track-bar names.
    int Min() const { return minimum(); }
    void SetMin(int value);
    int Max() const { return maximum(); }
    void SetMax(int value);
    int Position() const { return value(); }
    void SetPosition(int value);
    int Frequency() const { return fFrequency; } // tick spacing
    void SetFrequency(int value);
    int LineSize() const { return singleStep(); }
    void SetLineSize(int value) { setSingleStep(value); }
    int PageSize() const { return pageStep(); }
    void SetPageSize(int value) { setPageStep(value); }
    TTickMark TickMarks() const { return fTickMarks; }
    void SetTickMarks(TTickMark value);
    TTickStyle TickStyle() const { return fTickStyle; }
    void SetTickStyle(TTickStyle value);
    TTrackBarOrientation Orientation() const;
    void SetOrientation(TTrackBarOrientation value);
    int SelStart() const { return fSelStart; }
    void SetSelStart(int value);
    int SelEnd() const { return fSelEnd; }
    void SetSelEnd(int value);
    QString Hint() const { return toolTip(); }
    void SetHint(const QString& text) { setToolTip(text); }
    bool ShowHint() const { return fShowHint; }
    void SetShowHint(bool value) { fShowHint = value; }

    // Range display, position tip and hint colour.
    bool ShowRange() const { return fShowRange; }
    void SetShowRange(bool value);
    bool ToolTips() const { return fToolTips; }
    void SetToolTips(bool value);
    TTipTrackToolTipSide ToolTipSide() const { return fToolTipSide; }
    void SetToolTipSide(TTipTrackToolTipSide value);
    // The side the live position tip uses; empty until the control has been shown.
    std::optional<TTipTrackToolTipSide> LiveToolTipSide() const { return fLiveToolTipSide; }
    TColor HintColor() const { return fHintColor; }
    void SetHintColor(TColor value) { fHintColor = value; }

    const TNotifyEvent& OnChange() const { return fOnChange; }
    void SetOnChange(TNotifyEvent handler) { fOnChange = std::move(handler); }
    void SetOnChanged(TNotifyEvent handler) { fOnChanged = std::move(handler); }
    void SetOnMouseEnter(TNotifyEvent handler) { fOnMouseEnter = std::move(handler); }
    void SetOnMouseLeave(TNotifyEvent handler) { fOnMouseLeave = std::move(handler); }
    void SetOnCtl3DChanged(TNotifyEvent handler) { fOnCtl3DChanged = std::move(handler); }
    void SetOnParentColorChange(TNotifyEvent handler) { fOnParentColorChange = std::move(handler); }
    void SetOnToolTip(TTipTrackToolTipEvent handler) { fOnToolTip = std::move(handler); }
    void SetOnMouseDown(TMouseEvent handler) { fOnMouseDown = std::move(handler); }
    void SetOnMouseUp(TMouseEvent handler) { fOnMouseUp = std::move(handler); }
    void SetOnMouseMove(TMouseMoveEvent handler) { fOnMouseMove = std::move(handler); }

    // The text the position tip shows now: the position, as OnToolTip leaves it.
    QString ToolTipText();
    const QString& LastToolTipText() const { return fLastToolTipText; }
    // The position tip window while it exists (only while the thumb is dragged).
    const QLabel* PositionTip() const { return fPositionTip; }
    // Where the thumb is drawn, in widget coordinates.
    QRect ThumbRect() const;

protected:
    void sliderChange(SliderChange change) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void ApplyToolTipSide();
    void ApplyTicks();
    void ShowPositionTip();
    void HidePositionTip();

    int fFrequency = 1;
    TTickMark fTickMarks = tmBottomRight;
    TTickStyle fTickStyle = tsAuto;
    int fSelStart = 0;
    int fSelEnd = 0;
    bool fShowHint = true;
    bool fShowRange = true;
    bool fToolTips = false;
    TTipTrackToolTipSide fToolTipSide = tsLeft;
    std::optional<TTipTrackToolTipSide> fLiveToolTipSide;
    TColor fHintColor = clInfoBk;
    std::array<QColor, 3> fSavedHintColor; // per colour group
    QString fLastToolTipText;
    QPointer<QLabel> fPositionTip;

    TNotifyEvent fOnChange;
    TNotifyEvent fOnChanged;
    TNotifyEvent fOnMouseEnter;
    TNotifyEvent fOnMouseLeave;
    TNotifyEvent fOnCtl3DChanged;
    TNotifyEvent fOnParentColorChange;
    TTipTrackToolTipEvent fOnToolTip;
    TMouseEvent fOnMouseDown;
    TMouseEvent fOnMouseUp;
    TMouseMoveEvent fOnMouseMove;
};
