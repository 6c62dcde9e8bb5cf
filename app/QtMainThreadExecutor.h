#pragma once
#include "serial/IMainThreadExecutor.h"

#include <QObject>

// Runs the serial component's notifications on the thread that created the executor (the GUI
// thread), in the order they were posted. Must outlive every component that posts to it.
class QtMainThreadExecutor final : public IMainThreadExecutor
{
public:
    QtMainThreadExecutor() = default;
    void Post(std::function<void()> task) override;

private:
    QObject Context; // queued calls run in this object's thread and die with it
};
