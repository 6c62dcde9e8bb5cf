#include "terminal/LineTimeText.h"

#include "system/CalendarTime.h"

#include <cstdio>
#include <ctime>

namespace {

using TMilliseconds = std::chrono::milliseconds;

std::chrono::sys_time<TMilliseconds> Cut(TLineTime time)
{
    return std::chrono::floor<TMilliseconds>(time);
}

constexpr std::size_t ClockWidth = 12; // HH:MM:SS.mmm

} // namespace

std::string ClockText(TLineTime time)
{
    const auto milliseconds = Cut(time).time_since_epoch().count();
    // floor: a time before 1970 still gives 0-999 milliseconds.
    const auto seconds = static_cast<std::time_t>(
        std::chrono::floor<std::chrono::seconds>(Cut(time)).time_since_epoch().count());
#ifdef _WIN32
    // Its C library refuses a time before 1970 (west of Greenwich, also the first hours after
    // it), so such a time is read a whole number of days later: the same time of day.
    constexpr std::time_t Day = 24 * 60 * 60;
    const std::time_t shown = seconds >= Day ? seconds : (seconds % Day + Day) % Day + Day;
#else
    const std::time_t shown = seconds;
#endif
    const std::tm local = LocalCalendarTime(shown);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min,
                  local.tm_sec, static_cast<int>(((milliseconds % 1000) + 1000) % 1000));
    return text;
}

std::string SincePreviousText(std::optional<TLineTime> previous, TLineTime time)
{
    const long long difference =
        previous ? static_cast<long long>((Cut(time) - Cut(*previous)).count()) : 0;
    const unsigned long long size = difference < 0
                                        ? 0ull - static_cast<unsigned long long>(difference)
                                        : static_cast<unsigned long long>(difference);
    char text[40];
    std::snprintf(text, sizeof text, "%c%llu.%03llu", difference < 0 ? '-' : '+', size / 1000,
                  size % 1000);
    return text;
}

std::string LineTimeText(bool sincePrevious, std::optional<TLineTime> previous,
                         std::optional<TLineTime> time)
{
    if (!time) return std::string(ClockWidth, ' ');
    std::string text = sincePrevious ? SincePreviousText(previous, *time) : ClockText(*time);
    if (text.size() < ClockWidth) text.insert(0, ClockWidth - text.size(), ' ');
    return text;
}
