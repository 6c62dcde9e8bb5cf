#pragma once
// The event loop of a front end without a toolkit: the serial component posts its notifications
// here from its thread, and the session's waits run them on the thread that waits. The mutex is
// the hand-over: whatever the poster wrote before Post is visible to the task.

#include "serial/IMainThreadExecutor.h"
#include "session/TBootLoaderSession.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

class TSessionEventLoop final : public IMainThreadExecutor, public ISessionWaiter
{
public:
    void Post(std::function<void()> task) override; // any thread
    // Runs tasks as they come for ms milliseconds (at least those already queued).
    void Delay(std::uint32_t ms) override;
    // Runs tasks as they come until done() holds or the time is up; whether done() holds.
    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);

private:
    bool RunUntilDeadline(const std::function<bool()>& done,
                          std::chrono::steady_clock::time_point deadline);

    std::mutex fMutex;
    std::condition_variable fPosted;
    std::deque<std::function<void()>> fTasks; // guarded by fMutex
};
