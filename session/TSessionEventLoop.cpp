#include "session/TSessionEventLoop.h"

void TSessionEventLoop::Post(std::function<void()> task)
{
    {
        std::lock_guard lock(fMutex);
        fTasks.push_back(std::move(task));
    }
    fPosted.notify_one();
}

void TSessionEventLoop::Delay(std::uint32_t ms)
{
    RunUntilDeadline({}, std::chrono::steady_clock::now() + std::chrono::milliseconds(ms));
}

bool TSessionEventLoop::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit)
{
    return RunUntilDeadline(done, std::chrono::steady_clock::now() + limit);
}

bool TSessionEventLoop::RunUntilDeadline(const std::function<bool()>& done,
                                         std::chrono::steady_clock::time_point deadline)
{
    for (;;) {
        std::unique_lock lock(fMutex);
        while (!fTasks.empty()) {
            std::function<void()> task = std::move(fTasks.front());
            fTasks.pop_front();
            lock.unlock();
            task(); // may wait itself: tasks posted meanwhile run inside that wait, in order
            lock.lock();
        }
        if (done && done()) return true;
        if (!fPosted.wait_until(lock, deadline, [this] { return !fTasks.empty(); }))
            return done && done();
    }
}
