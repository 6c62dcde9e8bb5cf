#pragma once
// A two-state lamp: a filled ellipse with a white highlight in its upper-left part,
// optionally flashing while lit.
#include "widgets/TColor.h"
#include <functional>

#include <QTimer>
#include <QWidget>

class QPainter;

class TpelLed : public QWidget
{
    Q_OBJECT
public:
    using TNotifyEvent = std::function<void(QObject* Sender)>;

    explicit TpelLed(QWidget* parent = nullptr);
    ~TpelLed() override;

    TColor OnColor() const { return OnColor_; }
    void SetOnColor(TColor value);
    TColor OffColor() const { return OffColor_; }
    void SetOffColor(TColor value);
    bool LedOn() const { return LedOn_; }
    void SetLedOn(bool value);
    bool Flashing() const { return Flashing_; }
    void SetFlashing(bool value);
    int Frequency() const { return Frequency_; } // milliseconds between phase toggles
    void SetFrequency(int value);
    // Stored for layouts; drawing does not depend on it.
    TBorderStyle BorderStyle() const { return BorderStyle_; }
    void SetBorderStyle(TBorderStyle value);
    const TNotifyEvent& OnChange() const { return OnChange_; }
    void SetOnChange(TNotifyEvent handler) { OnChange_ = std::move(handler); }

    // Current half of the flash cycle; true shows OnColor.
    bool FlashPhase() const { return FlashPhase_; }
    // The colour the next paint fills the lamp with.
    TColor FillColor() const;
    const QTimer& FlashTimer() const { return FlashTimer_; }

    // Draws the lamp into a box of the given size at the painter's origin; pixels
    // outside the ellipse are left alone.
    static void DrawLed(QPainter& painter, int width, int height, const QColor& fill);

protected:
    virtual void DoChange();
    void FlashTimerTick();
    void paintEvent(QPaintEvent* event) override;

private:
    void SetTimerEnabled(bool enabled);

    TColor OnColor_ = clLime;
    TColor OffColor_ = clRed;
    bool LedOn_ = false;
    bool Flashing_ = false;
    int Frequency_ = 200;
    TBorderStyle BorderStyle_ = bsNone;
    bool FlashPhase_ = false;
    bool TimerEnabled_ = false;
    TNotifyEvent OnChange_;
    QTimer FlashTimer_; // a member, so it stops before the widget goes away
};
