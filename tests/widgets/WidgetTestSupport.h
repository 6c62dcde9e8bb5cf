#pragma once
// Helpers shared by the widget tests: paint counting and off-screen rendering.
#include <QCoreApplication>
#include <QEvent>
#include <QImage>
#include <QObject>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

// Counts the paint events a widget receives.
class TPaintCounter : public QObject
{
public:
    explicit TPaintCounter(QWidget& widget) { widget.installEventFilter(this); }
    int Count() const { return fCount; }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) ++fCount;
        return false;
    }

private:
    int fCount = 0;
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

// Shows the window and waits until it is on screen, so that later repaints really paint.
inline void ShowExposed(QWidget& window)
{
    window.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    QCoreApplication::processEvents();
}

// A widget shown inside a window of the given size, with its paints counted.
template <class TWidget, int Width, int Height> struct TShownInWindow
{
    QWidget Window;
    TWidget* Widget = new TWidget(&Window); // owned by Window
    TPaintCounter Paints{*Widget};

    TShownInWindow()
    {
        Window.resize(Width, Height);
        ShowExposed(Window);
    }
};
