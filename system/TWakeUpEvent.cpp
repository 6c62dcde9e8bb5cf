#include "system/TWakeUpEvent.h"
#include "system/ErrnoError.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

TWakeUpEvent::TWakeUpEvent() : fEvent(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
{
    if (!fEvent.Valid()) throw ErrnoError("eventfd");
}

TWakeUpEvent::~TWakeUpEvent() = default;

void TWakeUpEvent::Raise() const noexcept
{
    const uint64_t one = 1;
    // Fails only when the counter would overflow, and then a wake-up is pending anyway.
    while (::write(fEvent.Get(), &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void TWakeUpEvent::Clear() const noexcept
{
    uint64_t count;
    // Non-blocking: nothing raised leaves nothing to clear.
    [[maybe_unused]] const ssize_t n = ::read(fEvent.Get(), &count, sizeof count);
}

bool TWakeUpEvent::Wait(int timeoutMs) const
{
    pollfd fd{fEvent.Get(), POLLIN, 0};
    for (;;) {
        const int ready = ::poll(&fd, 1, timeoutMs);
        if (ready >= 0) return ready > 0;
        if (errno != EINTR) throw ErrnoError("poll");
    }
}
