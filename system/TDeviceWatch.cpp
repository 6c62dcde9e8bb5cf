#include "system/TDeviceWatch.h"
#include "system/ErrnoError.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <poll.h>
#include <sys/inotify.h>
#include <system_error>
#include <unistd.h>

TDeviceWatch::TDeviceWatch() : fNotify(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
{
    if (!fNotify.Valid()) throw ErrnoError("inotify");
}

void TDeviceWatch::WatchFoldersOf(const std::string& path)
{
    constexpr std::uint32_t Changes =
        IN_CREATE | IN_DELETE | IN_MOVED_TO | IN_MOVED_FROM | IN_ATTRIB | IN_DELETE_SELF;
    // From the device's own folder up to the first one that exists: /dev/serial/by-id appears
    // only with the first USB adapter, and its creation is a change in /dev/serial or /dev.
    for (std::filesystem::path folder = std::filesystem::path(path).parent_path(); !folder.empty();
         folder = folder.parent_path()) {
        if (::inotify_add_watch(fNotify.Get(), folder.c_str(), Changes) >= 0) break;
        if (folder == folder.root_path()) break;
    }
}

bool TDeviceWatch::WaitUntil(const std::function<bool()>& holds, const std::string& path)
{
    for (;;) {
        // Watching first, then looking: a change in between is not missed.
        WatchFoldersOf(path);
        if (holds()) return true;
        pollfd fds[2] = {{fNotify.Get(), POLLIN, 0}, {fStop.Descriptor(), POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR) return false;
        if (fds[1].revents & POLLIN) return false;
        Drain();
    }
}

void TDeviceWatch::Drain()
{
    std::array<char, 4096> events{};
    while (::read(fNotify.Get(), events.data(), events.size()) > 0) {
    }
}

void TDeviceWatch::Stop()
{
    fStop.Raise();
}
