#include "serial/TMainThreadNotifier.h"

#include <exception>
#include <utility>

TMainThreadNotifier::TMainThreadNotifier(IMainThreadExecutor& mainThread, TWndProc wndProc)
    : fMainThread(mainThread), fWndProc(std::move(wndProc)),
      fLiveness(std::make_shared<TLiveness>(TLiveness{this}))
{
}

TMainThreadNotifier::~TMainThreadNotifier()
{
    fLiveness->Window = nullptr;
}

void TMainThreadNotifier::Post(TNotification notification)
{
    fMainThread.Post([liveness = fLiveness, notification] {
        if (liveness->Window) liveness->Window->fWndProc(notification);
    });
}

void TMainThreadNotifier::BeginWorker()
{
    std::lock_guard lock(fMutex);
    fSlotFull = false;
    fSlotInService = false;
    fAbandoned = false;
    fWorkerEnded = false;
}

bool TMainThreadNotifier::Send(TNotification notification)
{
    std::unique_lock lock(fMutex);
    if (fAbandoned) return false;
    fSlot = notification;
    fSlotFull = true;
    // A close may already wait for this thread's end; it serves what we offer, once it knows.
    fChanged.notify_all();
    lock.unlock();
    fMainThread.Post([liveness = fLiveness] {
        if (liveness->Window) liveness->Window->ServeSlot();
    });
    lock.lock();
    fChanged.wait(lock, [this] { return !fSlotFull || fAbandoned; });
    const bool delivered = !fSlotFull;
    fSlotFull = false;
    return delivered;
}

void TMainThreadNotifier::ServeSlot()
{
    std::unique_lock lock(fMutex);
    if (!fSlotFull || fSlotInService)
        return; // served already (by WaitForWorkerEnd) or being served further up the stack
    fSlotInService = true;
    const TNotification notification = fSlot;
    lock.unlock();

    struct TCompletion
    {
        TMainThreadNotifier& Window;
        ~TCompletion()
        {
            std::lock_guard lock(Window.fMutex);
            Window.fSlotInService = false;
            Window.fSlotFull = false;
            Window.fChanged.notify_all();
        }
    } completion{*this};
    fWndProc(notification);
}

void TMainThreadNotifier::WorkerEnded()
{
    std::lock_guard lock(fMutex);
    fWorkerEnded = true;
    fChanged.notify_all();
}

void TMainThreadNotifier::WaitForWorkerEnd()
{
    std::exception_ptr failure;
    std::unique_lock lock(fMutex);
    while (!fWorkerEnded) {
        if (fSlotFull && fSlotInService) {
            // We are inside the handler that serves this very request: it cannot complete
            // before we return, so release the worker instead of waiting for it.
            fAbandoned = true;
            fChanged.notify_all();
        } else if (fSlotFull) {
            lock.unlock();
            try {
                ServeSlot();
            } catch (...) { // the first failure is raised once the worker has ended
                if (!failure) failure = std::current_exception();
            }
            lock.lock();
            continue;
        }
        fChanged.wait(lock);
    }
    lock.unlock();
    if (failure) std::rethrow_exception(failure);
}
