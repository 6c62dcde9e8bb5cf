#include "serial/TTaskQueue.h"

bool TTaskQueue::Push(TTask task)
{
    std::lock_guard lock(fMutex);
    const bool wasEmpty = fTasks.empty();
    fTasks.push_back(std::move(task));
    return wasEmpty;
}

void TTaskQueue::RunEach(const std::function<void()>& wakeAgain,
                         const std::function<void(const TTask&)>& run)
{
    for (;;) {
        TTask task;
        bool moreQueued;
        {
            std::lock_guard lock(fMutex);
            if (fTasks.empty()) return;
            task = std::move(fTasks.front());
            fTasks.pop_front();
            moreQueued = !fTasks.empty();
        }
        if (moreQueued) wakeAgain();
        run(task);
    }
}
