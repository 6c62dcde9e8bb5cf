#pragma once
// A progress indicator: bar, pie, needle or plain text, with the whole percentage
// printed over it in inverted colours.
#include "widgets/GaugeRenderer.h"
#include "widgets/TColor.h"

#include <QWidget>
#include <optional>
#include <stdexcept>

// Raised when a control is asked for something its current state forbids.
class EInvalidOperation : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

class TGauge : public QWidget
{
    Q_OBJECT
public:
    explicit TGauge(QWidget* parent = nullptr);

    int MinValue() const { return fMinValue; }
    void SetMinValue(int value); // throws EInvalidOperation above MaxValue (unless loading)
    int MaxValue() const { return fMaxValue; }
    void SetMaxValue(int value); // throws EInvalidOperation below MinValue (unless loading)
    int Progress() const { return fProgress; }
    void SetProgress(int value); // clamped to MinValue..MaxValue
    TGaugeKind Kind() const { return fKind; }
    void SetKind(TGaugeKind value);
    bool ShowText() const { return fShowText; }
    void SetShowText(bool value);
    TBorderStyle BorderStyle() const { return fBorderStyle; }
    void SetBorderStyle(TBorderStyle value);
    TColor ForeColor() const { return fForeColor; }
    void SetForeColor(TColor value);
    TColor BackColor() const { return fBackColor; }
    void SetBackColor(TColor value);
    // Background of the pie and needle kinds; follows the parent's colour until set.
    TColor Color() const;
    void SetColor(TColor value);

    // The whole percentage of Progress within the range.
    int Percent() const;

    // While a layout is being applied the range checks are skipped, so MinValue and
    // MaxValue may be set in any order.
    bool Loading() const { return fLoading; }
    void SetLoading(bool loading) { fLoading = loading; }

    // What a paint draws, as plain values.
    TGaugePicture Picture() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int fMinValue = 0;
    int fMaxValue = 100;
    int fProgress = 0;
    TGaugeKind fKind = gkHorizontalBar;
    bool fShowText = true;
    TBorderStyle fBorderStyle = bsSingle;
    TColor fForeColor = clBlack;
    TColor fBackColor = clWhite;
    std::optional<TColor> fColor;
    bool fLoading = false;
};
