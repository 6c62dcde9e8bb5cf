#pragma once

#include <cstdint>
#include <functional>

// Keeps the application alive for at least ms milliseconds of the given tick counter:
// processes pending events at least once (also for 0), then sleeps in the event loop
// until an event arrives or the remaining time is up, and repeats until the counter
// has advanced by ms (wrap-safe). It never spins.
void ProcessEventsFor(std::uint32_t ms, const std::function<std::uint32_t()>& tick);
