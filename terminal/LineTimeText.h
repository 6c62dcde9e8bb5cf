#pragma once
// How a line's time is written before it, in the pane's gutter and in a saved log.

#include "terminal/TLineTimes.h"

#include <optional>
#include <string>

// The local time with milliseconds: "HH:MM:SS.mmm".
std::string ClockText(TLineTime time);
// The time since the line before began: "+S.mmm" (a clock set back gives "-S.mmm"). Both are cut
// to the millisecond first, so the difference matches the clock times shown. Without a line
// before, "+0.000".
std::string SincePreviousText(std::optional<TLineTime> previous, TLineTime time);
// Either of them, as wide as the clock's text, or blanks for a line not begun.
std::string LineTimeText(bool sincePrevious, std::optional<TLineTime> previous,
                         std::optional<TLineTime> time);
