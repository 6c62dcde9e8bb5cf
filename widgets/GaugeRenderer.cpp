#include "widgets/GaugeRenderer.h"

#include "widgets/GaugePercent.h"
#include "widgets/TPixelMask.h"

#include <QFontMetrics>
#include <QPainter>

namespace {

QPoint AsQPoint(TGaugePoint point)
{
    return QPoint(point.X, point.Y);
}

void FillBox(QPainter& p, const TBox& box, const QColor& colour)
{
    if (!box.IsEmpty()) p.fillRect(box.ToQRect(), colour);
}

void DrawPlain(QPainter& p, const TGaugePicture& g, const TBox& r)
{
    FillBox(p, r, g.BackColor);
}

void DrawBar(QPainter& p, const TGaugePicture& g, const TBox& r)
{
    const int W = r.Right - r.Left + 1;
    const int H = r.Bottom - r.Top + 1;
    FillBox(p, r, g.BackColor);
    if (g.Kind == gkHorizontalBar) {
        int S = ScalePercent(g.Percent, W);
        if (S > W) S = W;
        // Right and bottom are S and H themselves, not offsets from the left and top.
        if (S > 0) FillBox(p, TBox{r.Left, r.Top, S, H}, g.ForeColor);
    } else {
        int S = ScalePercent(g.Percent, H);
        if (S >= H) S = H - 1;
        FillBox(p, TBox{r.Left, H - S, W, H}, g.ForeColor);
    }
}

struct TDialSize
{
    int W, H;
};

// Fills the gauge's box for a dial and returns the dial's size, one pixel larger each way
// inside a border.
TDialSize PrepareDial(QPainter& p, const TGaugePicture& g, const TBox& r)
{
    TDialSize size{r.Right - r.Left, r.Bottom - r.Top};
    if (g.BorderStyle == bsSingle) {
        ++size.W;
        ++size.H;
    }
    FillBox(p, r, g.Color);
    return size;
}

void DrawPie(QPainter& p, const TGaugePicture& g, const TBox& r)
{
    const auto [W, H] = PrepareDial(p, g, r);
    const TBox dial{r.Left, r.Top, W, H};
    TPixelMask::Ellipse(dial).Paint(p, g.BackColor, g.ForeColor);
    if (g.Percent > 0) {
        const int MX = W / 2, MY = H / 2;
        TPixelMask::Pie(dial, AsQPoint(PieStartPoint(g.Percent, MX, MY)), QPoint(MX, 0))
            .Paint(p, g.ForeColor);
    }
}

void DrawNeedle(QPainter& p, const TGaugePicture& g, const TBox& r)
{
    const auto [W, H] = PrepareDial(p, g, r);
    // The upper half of an ellipse twice as high as the gauge: a dial on the bottom edge.
    TPixelMask::Pie(TBox{r.Left, r.Top, W, 2 * H - 1}, QPoint(r.Left + W, r.Bottom - 1),
                    QPoint(r.Left, r.Bottom - 1))
        .Paint(p, g.BackColor, g.ForeColor);
    TPixelMask::Line(QPoint(r.Left, r.Bottom), QPoint(r.Left + W, r.Bottom)).Paint(p, g.ForeColor);
    if (g.Percent > 0) {
        const int MX = g.Size.width() / 2;
        TPixelMask::Line(QPoint(MX, r.Bottom - 1), AsQPoint(NeedleTip(g.Percent, MX, r.Bottom)))
            .Paint(p, g.ForeColor);
    }
}

void XorInto(QImage& target, const QImage& source)
{
    QPainter p(&target);
    p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    p.drawImage(0, 0, source);
}

void DrawTextOverlay(QImage& image, const TGaugePicture& g, const TBox& r)
{
    if (r.IsEmpty()) return; // no room inside the border: the text is clipped away
    QImage text(image.size(), QImage::Format_RGB32);
    text.fill(Qt::black);
    {
        QPainter p(&text);
        QFont font(g.Font);
        // Glyphs must be pure white so that XOR inverts them exactly.
        font.setStyleStrategy(QFont::NoAntialias);
        p.setFont(font);
        p.setPen(Qt::white);
        const QString s = QString::number(g.Percent) + QLatin1Char('%');
        const QFontMetrics fm(font);
        // Absolute coordinates: the rectangle's left and top are deliberately not added.
        const int x = (r.Right - r.Left + 1 - fm.horizontalAdvance(s)) / 2;
        const int y = (r.Bottom - r.Top + 1 - fm.height()) / 2;
        p.setClipRect(r.ToQRect());
        p.drawText(x, y + fm.ascent(), s);
    }
    XorInto(image, text);
}

} // namespace

QImage RenderGauge(const TGaugePicture& g)
{
    if (g.Size.width() <= 0 || g.Size.height() <= 0) return QImage();
    QImage image(g.Size, QImage::Format_RGB32);
    image.fill(Qt::black);

    TBox r{0, 0, g.Size.width(), g.Size.height()};
    if (g.BorderStyle == bsSingle) r = TBox{r.Left + 1, r.Top + 1, r.Right - 1, r.Bottom - 1};

    QImage overlay(g.Size, QImage::Format_RGB32);
    overlay.fill(Qt::black);
    {
        QPainter p(&overlay);
        p.setRenderHint(QPainter::Antialiasing, false);
        switch (g.Kind) {
        case gkText:
            DrawPlain(p, g, r);
            break;
        case gkHorizontalBar:
        case gkVerticalBar:
            DrawBar(p, g, r);
            break;
        case gkPie:
            DrawPie(p, g, r);
            break;
        case gkNeedle:
            DrawNeedle(p, g, r);
            break;
        }
    }
    XorInto(image, overlay);
    if (g.ShowText) DrawTextOverlay(image, g, r);
    return image;
}
