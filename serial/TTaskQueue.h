#pragma once
// The hand-over of the port's notifications to the window's thread, for both windows' executors:
// a task is queued under fMutex by the posting thread and taken out under fMutex by the window's
// thread, so everything the poster wrote before Push is visible to the task. The executor's own
// wake-up (an eventfd, a posted message) only tells the window's thread to look.

#include <deque>
#include <functional>
#include <mutex>

class TTaskQueue
{
public:
    using TTask = std::function<void()>;

    // Any thread. True when the queue was empty: the window's thread needs waking; otherwise a
    // wake-up is on its way already, or the queue is being run.
    bool Push(TTask task);

    // The window's thread: runs the queued tasks in order, one at a time, through run. Before a
    // task runs while others wait, wakeAgain() is called, so that a task running a nested event
    // loop (a modal box, the transfer's waits) has them run inside it, still in order.
    void RunEach(const std::function<void()>& wakeAgain,
                 const std::function<void(const TTask&)>& run);

private:
    std::mutex fMutex;
    std::deque<TTask> fTasks; // guarded by fMutex
};
