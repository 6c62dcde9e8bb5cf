#include "system/TMonotonicAlarm.h"
#include "system/ErrnoError.h"

#include <cerrno>
#include <ctime>
#include <sys/timerfd.h>
#include <unistd.h>

TMonotonicAlarm::TMonotonicAlarm()
    : fFd(::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC))
{
    if (!fFd.Valid()) throw ErrnoError("Cannot make a timer");
}

void TMonotonicAlarm::ArmInMilliseconds(std::uint32_t ms)
{
    // An absolute time on the millisecond boundary: a relative one would wake up to a
    // millisecond late, since the counter moves on at the boundary, not ms from now.
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const std::int64_t atMs =
        static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000 + ms;
    itimerspec at{};
    at.it_value.tv_sec = static_cast<time_t>(atMs / 1000);
    at.it_value.tv_nsec = static_cast<long>(atMs % 1000) * 1000000;
    ::timerfd_settime(fFd.Get(), TFD_TIMER_ABSTIME, &at, nullptr);
}

void TMonotonicAlarm::Drain()
{
    std::uint64_t expirations = 0;
    while (::read(fFd.Get(), &expirations, sizeof expirations) < 0 && errno == EINTR) {
    }
}
