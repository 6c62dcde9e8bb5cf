#pragma once
// Waits for a device to come or go, learning of it from the kernel (inotify on the folders that
// hold its name; on Windows the system's device notifications for COM ports), never by
// polling; Stop() ends a wait from any thread.

#ifndef _WIN32
#include "system/TFileDescriptor.h"
#endif
#include "system/TWakeUpEvent.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>

class TDeviceNotifyWindow; // Windows: a message-only window and its device registration

class TDeviceWatch
{
public:
    TDeviceWatch(); // throws std::system_error
    // Returns true once holds() is true, false when stopped first. `path` names where the
    // device shows up: its folder (or, while that does not exist, the nearest one that does) is
    // watched, and holds() asked again after every change there. On Windows every COM port's
    // arrival or removal is a change, whatever the path; the wait handles the calling thread's
    // messages.
    bool WaitUntil(const std::function<bool()>& holds, const std::string& path);
    void Stop();

#ifdef _WIN32
    ~TDeviceWatch();
    TDeviceWatch(const TDeviceWatch&) = delete;
    TDeviceWatch& operator=(const TDeviceWatch&) = delete;

    // The same for a thread that runs a message loop (the window): Watch() makes, on the calling
    // thread, the window the system tells of COM ports; from then on the loop calls changed() on
    // that thread after each arrival or removal. A change between watching and looking is not
    // missed. changed() may end the watch; the watch is destroyed on the thread that watched.
    void Watch(const std::string& path, std::function<void()> changed);
    // The message-only window the system's notices reach while one is made (a wait or Watch);
    // null otherwise. An HWND.
    void* Window() const;

#else
    // The same for an event loop: Watch(path) for each place, then look; when Descriptor() is
    // readable, Drain() and look again. A change between watching and looking is not missed.
    void Watch(const std::string& path)
    {
        WatchFoldersOf(path);
    }
    int Descriptor() const
    {
        return fNotify.Get();
    }
    void Drain();
#endif

private:
#ifdef _WIN32
    std::unique_ptr<TDeviceNotifyWindow> fLoopWindow; // Watch's
    std::atomic<void*> fWindow = nullptr;
#else
    void WatchFoldersOf(const std::string& path);

    TFileDescriptor fNotify;
#endif
    TWakeUpEvent fStop;
};
