#pragma once
// Helpers shared by the widget tests: paint counting and off-screen rendering.
#include <QEvent>
#include <QImage>
#include <QObject>
#include <QWidget>

// Counts the paint events a widget receives.
class TPaintCounter : public QObject
{
public:
    explicit TPaintCounter(QWidget& widget) { widget.installEventFilter(this); }
    int Count() const { return Count_; }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) ++Count_;
        return false;
    }

private:
    int Count_ = 0;
};

// Renders only what the widget itself paints over a background of the given colour,
// so untouched pixels can be told apart.
inline QImage RenderOver(QWidget& widget, QRgb background)
{
    QImage image(widget.size(), QImage::Format_RGB32);
    image.fill(background);
    widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}
