#pragma once
// Waits for a device to come or go, learning of it from the kernel (inotify on the folders that
// hold its name), never by polling; Stop() ends a wait from any thread.

#include "system/TFileDescriptor.h"
#include "system/TWakeUpEvent.h"

#include <functional>
#include <string>

class TDeviceWatch
{
public:
    TDeviceWatch(); // throws std::system_error
    // Returns true once holds() is true, false when stopped first. `path` names where the
    // device shows up: its folder (or, while that does not exist, the nearest one that does) is
    // watched, and holds() asked again after every change there.
    bool WaitUntil(const std::function<bool()>& holds, const std::string& path);
    void Stop();

    // The same for an event loop: Watch(path) for each place, then look; when Descriptor() is
    // readable, Drain() and look again. A change between watching and looking is not missed.
    void Watch(const std::string& path) { WatchFoldersOf(path); }
    int Descriptor() const { return fNotify.Get(); }
    void Drain();

private:
    void WatchFoldersOf(const std::string& path);

    TFileDescriptor fNotify;
    TWakeUpEvent fStop;
};
