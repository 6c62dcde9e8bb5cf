#pragma once
// Scan conversion of the few figures the indicator widgets draw, with the semantics of
// the classic Windows device context, so pictures come out pixel for pixel the same on
// every platform and independent of the paint engine's rasteriser:
//  - a bounding box (Left, Top, Right, Bottom) excludes its right column and bottom row;
//  - a pixel belongs to an ellipse when its centre lies inside or on it;
//  - arcs, chords and pies run counter-clockwise (as seen on screen) from the radial
//    through the start point to the radial through the end point; equal radials mean
//    the whole ellipse;
//  - a line leaves out its last point.
#include <QPoint>
#include <QRect>
#include <vector>

class QColor;
class QPainter;

struct TBox
{
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;

    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
    bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
    // The pixels the box covers, as Qt's inclusive rectangle.
    QRect ToQRect() const { return IsEmpty() ? QRect() : QRect(Left, Top, Width(), Height()); }
};

class TPixelMask
{
public:
    TPixelMask() = default;

    static TPixelMask Rectangle(TBox box);
    static TPixelMask Ellipse(TBox box);
    static TPixelMask Chord(TBox box, QPoint radialStart, QPoint radialEnd);
    static TPixelMask Pie(TBox box, QPoint radialStart, QPoint radialEnd);
    static TPixelMask Line(QPoint from, QPoint to);

    bool Contains(int x, int y) const;
    // A covered pixel with at least one uncovered 4-neighbour: where a 1-pixel pen draws.
    bool IsEdge(int x, int y) const;
    QRect Bounds() const { return fBounds; }
    int Count() const;

    // Interior in brush colour, edge in pen colour.
    void Paint(QPainter& painter, const QColor& brush, const QColor& pen) const;
    void Paint(QPainter& painter, const QColor& colour) const;

private:
    TPixelMask(QRect bounds);
    void Set(int x, int y);
    // A mask with no pixel set over box, which comes back normalised (left <= right, top <=
    // bottom).
    static TPixelMask Blank(TBox& box);
    // Marks the pixels of box for which inside(x, y) holds.
    template <class TInside> void SetWhere(const TBox& box, TInside inside);
    // Pie and chord: a blank mask over box that draw(mask, box, geometry, radials) fills, unless
    // box is empty.
    template <class TDraw>
    static TPixelMask Cut(TBox box, QPoint radialStart, QPoint radialEnd, TDraw draw);

    QRect fBounds;
    std::vector<unsigned char> fBits; // row-major over Bounds_
};
