#pragma once
// A moment as the C library's broken-down calendar time, local or UTC, through each platform's
// thread-safe call (Windows' have their arguments the other way round).

#include <ctime>

inline std::tm LocalCalendarTime(std::time_t when)
{
    std::tm local{};
#ifdef _WIN32
    ::localtime_s(&local, &when);
#else
    ::localtime_r(&when, &local);
#endif
    return local;
}

inline std::tm UtcCalendarTime(std::time_t when)
{
    std::tm utc{};
#ifdef _WIN32
    ::gmtime_s(&utc, &when);
#else
    ::gmtime_r(&when, &utc);
#endif
    return utc;
}
