#pragma once

#include <cstdint>

// A 32-bit millisecond counter that wraps about every 49.7 days; only differences of
// two readings mean anything.
std::uint32_t MillisecondTick();

// A monotonic millisecond clock that does not wrap, for measuring durations.
std::int64_t MonotonicMilliseconds();

// How far the counter advanced from one reading to a later one, across a wrap.
constexpr std::uint32_t TickAdvance(std::uint32_t from, std::uint32_t to)
{
    return to - from; // unsigned arithmetic is modulo 2^32
}
