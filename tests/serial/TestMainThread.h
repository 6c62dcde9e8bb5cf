#pragma once

#include "serial/IMainThreadExecutor.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

// A main-thread executor for tests: tasks queue up until the test thread pumps them.
class TTestMainThread final : public IMainThreadExecutor
{
public:
    void Post(std::function<void()> task) override
    {
        {
            std::lock_guard lock(fMutex);
            fTasks.push_back(std::move(task));
        }
        fPosted.notify_all();
    }

    // Runs the tasks queued now (and those they queue meanwhile); returns how many ran.
    int RunPending()
    {
        int ran = 0;
        while (auto task = Take())
            ++ran, task();
        return ran;
    }

    // Runs tasks as they come until pred() holds; false after the time-out (a hang guard,
    // not a timing check).
    template <class TPred>
    bool PumpUntil(TPred pred, std::chrono::milliseconds timeout = std::chrono::seconds(20))
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            RunPending();
            if (pred()) return true;
            if (std::chrono::steady_clock::now() >= deadline) return false;
            // pred() may come true through the communication thread alone, without a task:
            // look again after a short while rather than only when a task arrives.
            std::unique_lock lock(fMutex);
            fPosted.wait_for(lock, std::chrono::milliseconds(2),
                             [this] { return !fTasks.empty(); });
        }
    }

    // Waits (without running anything) until at least `count` tasks are queued.
    bool WaitForQueued(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(20))
    {
        std::unique_lock lock(fMutex);
        return fPosted.wait_for(lock, timeout, [&] { return fTasks.size() >= count; });
    }

    size_t Queued() const
    {
        std::lock_guard lock(fMutex);
        return fTasks.size();
    }

private:
    std::function<void()> Take()
    {
        std::lock_guard lock(fMutex);
        if (fTasks.empty()) return {};
        auto task = std::move(fTasks.front());
        fTasks.pop_front();
        return task;
    }

    mutable std::mutex fMutex;
    std::condition_variable fPosted;
    std::deque<std::function<void()>> fTasks;
};
