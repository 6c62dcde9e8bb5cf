#pragma once

#include <functional>

// Runs work on the thread that owns the user interface. The application supplies the
// implementation; the serial component uses it to raise its events on that thread.
class IMainThreadExecutor
{
public:
    virtual ~IMainThreadExecutor() = default;
    // Thread-safe; runs the task on the main thread soon, in the order posted.
    virtual void Post(std::function<void()> task) = 0;
};
