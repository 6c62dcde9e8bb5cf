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

    int MinValue() const { return MinValue_; }
    void SetMinValue(int value); // throws EInvalidOperation above MaxValue (unless loading)
    int MaxValue() const { return MaxValue_; }
    void SetMaxValue(int value); // throws EInvalidOperation below MinValue (unless loading)
    int Progress() const { return Progress_; }
    void SetProgress(int value); // clamped to MinValue..MaxValue
    TGaugeKind Kind() const { return Kind_; }
    void SetKind(TGaugeKind value);
    bool ShowText() const { return ShowText_; }
    void SetShowText(bool value);
    TBorderStyle BorderStyle() const { return BorderStyle_; }
    void SetBorderStyle(TBorderStyle value);
    TColor ForeColor() const { return ForeColor_; }
    void SetForeColor(TColor value);
    TColor BackColor() const { return BackColor_; }
    void SetBackColor(TColor value);
    // Background of the pie and needle kinds; follows the parent's colour until set.
    TColor Color() const;
    void SetColor(TColor value);

    // The whole percentage of Progress within the range.
    int Percent() const;

    // While a layout is being applied the range checks are skipped, so MinValue and
    // MaxValue may be set in any order.
    bool Loading() const { return Loading_; }
    void SetLoading(bool loading) { Loading_ = loading; }

    // What a paint draws, as plain values.
    TGaugePicture Picture() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int MinValue_ = 0;
    int MaxValue_ = 100;
    int Progress_ = 0;
    TGaugeKind Kind_ = gkHorizontalBar;
    bool ShowText_ = true;
    TBorderStyle BorderStyle_ = bsSingle;
    TColor ForeColor_ = clBlack;
    TColor BackColor_ = clWhite;
    std::optional<TColor> Color_;
    bool Loading_ = false;
};
