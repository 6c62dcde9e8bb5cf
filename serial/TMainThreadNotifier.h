#pragma once

#include "serial/IMainThreadExecutor.h"
#include "serial/TNotification.h"

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

// Delivers the communication thread's notifications on the main thread. It plays the part of
// the component's hidden notification window (whose window procedure is NotifyWndProc) on a
// platform where the main thread is reached through an executor rather than window messages.
//
// Posted notifications are queued through the executor. The data-available notification is
// synchronous: the worker parks it in a one-entry slot, posts a task that serves the slot,
// and waits until the main thread has run the handler. While the main thread waits for the
// worker to end (WaitForWorkerEnd) it serves the slot itself, so neither waits for the other
// forever, and it runs nothing else meanwhile.
//
// The slot's mutex is also the hand-over point: what the worker wrote before Send is visible
// to the handler, and what the handler wrote is visible to the worker after Send returns.
class TMainThreadNotifier
{
public:
    using TWndProc = std::function<void(const TNotification&)>;

    TMainThreadNotifier(IMainThreadExecutor& mainThread, TWndProc wndProc);
    // Tasks still queued in the executor become no-ops.
    ~TMainThreadNotifier();
    TMainThreadNotifier(const TMainThreadNotifier&) = delete;
    TMainThreadNotifier& operator=(const TMainThreadNotifier&) = delete;

    // Any thread: queue a notification.
    void Post(TNotification notification);

    // Main thread, before a worker starts.
    void BeginWorker();
    // Worker: run the notification on the main thread and wait until it has been handled.
    // false when it was not delivered because the main thread is closing from inside the
    // very handler that would have to serve it.
    bool Send(TNotification notification);
    // Worker: its last act.
    void WorkerEnded();
    // Main thread: wait until WorkerEnded, serving Send requests meanwhile. An exception that
    // the window procedure lets through is rethrown after the worker has ended.
    void WaitForWorkerEnd();

private:
    struct TLiveness
    {
        TMainThreadNotifier* Window; // reset by the destructor; read and written on the main thread
    };

    void ServeSlot(); // main thread

    IMainThreadExecutor& fMainThread;
    TWndProc fWndProc;
    std::shared_ptr<TLiveness> fLiveness;

    std::mutex fMutex;
    std::condition_variable fChanged;
    bool fSlotFull = false;      // a Send is waiting
    bool fSlotInService = false; // the main thread is running its handler
    bool fAbandoned = false;     // main thread closes from inside that handler
    TNotification fSlot;
    bool fWorkerEnded = true;
};
