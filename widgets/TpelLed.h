#pragma once
// A two-state lamp: a filled ellipse with a white highlight in its upper-left part,
// optionally flashing while lit.
#include "widgets/TColor.h"
#include <functional>

#include <QImage>
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

    TColor OnColor() const { return fOnColor; }
    void SetOnColor(TColor value);
    TColor OffColor() const { return fOffColor; }
    void SetOffColor(TColor value);
    bool LedOn() const { return fLedOn; }
    void SetLedOn(bool value);
    bool Flashing() const { return fFlashing; }
    void SetFlashing(bool value);
    int Frequency() const { return fFrequency; } // milliseconds between phase toggles
    void SetFrequency(int value);
    // Stored for layouts; drawing does not depend on it.
    TBorderStyle BorderStyle() const { return fBorderStyle; }
    void SetBorderStyle(TBorderStyle value);
    const TNotifyEvent& OnChange() const { return fOnChange; }
    void SetOnChange(TNotifyEvent handler) { fOnChange = std::move(handler); }

    // Current half of the flash cycle; true shows OnColor.
    bool FlashPhase() const { return fFlashPhase; }
    // The colour the next paint fills the lamp with.
    TColor FillColor() const;
    const QTimer& FlashTimer() const { return fFlashTimer; }

    // Draws the lamp into a box of the given size at the painter's origin; pixels
    // outside the ellipse are left alone.
    static void DrawLed(QPainter& painter, int width, int height, const QColor& fill);

protected:
    virtual void DoChange();
    void FlashTimerTick();
    void paintEvent(QPaintEvent* event) override;

private:
    void SetTimerEnabled(bool enabled);
    // The lamp drawn in `color` at its present size, rendered once and kept: it is repainted
    // twice for every chunk the device sends, and rasterising the ellipse each time showed.
    const QImage& Picture(TColor color);

    struct TPicture
    {
        TColor Color = 0;
        QImage Image;
    };

    TColor fOnColor = clLime;
    TColor fOffColor = clRed;
    bool fLedOn = false;
    bool fFlashing = false;
    int fFrequency = 200;
    TBorderStyle fBorderStyle = bsNone;
    bool fFlashPhase = false;
    bool fTimerEnabled = false;
    TNotifyEvent fOnChange;
    QTimer fFlashTimer;    // a member, so it stops before the widget goes away
    TPicture fLitPicture;  // drawn in OnColor
    TPicture fDarkPicture; // drawn in OffColor
};
