#include "session/MillisecondTick.h"

#include <ctime>

std::int64_t MonotonicMilliseconds()
{
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

std::uint32_t MillisecondTick()
{
    return static_cast<std::uint32_t>(MonotonicMilliseconds());
}
