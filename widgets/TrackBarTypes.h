#pragma once
#include <QString>
#include <Qt>
#include <cstdint>
#include <functional>

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
