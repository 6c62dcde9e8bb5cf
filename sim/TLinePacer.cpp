#include "sim/TLinePacer.h"

#include <algorithm>
#include <limits>

TLinePacer::TLinePacer(double bytesPerSecond, double burst, TClock::time_point now)
    : fRate(std::max(0.0, bytesPerSecond)), fBurst(std::max(0.0, burst)), fTokens(fBurst),
      fLast(now)
{
}

void TLinePacer::Refill(TClock::time_point now)
{
    if (now <= fLast) return;
    const double elapsed = std::chrono::duration<double>(now - fLast).count();
    fTokens = std::min(fBurst, fTokens + elapsed * fRate);
    fLast = now;
}

std::size_t TLinePacer::Available(TClock::time_point now)
{
    if (!Paced()) return std::numeric_limits<std::size_t>::max();
    Refill(now);
    return fTokens > 0 ? static_cast<std::size_t>(fTokens) : 0;
}

void TLinePacer::Consume(std::size_t bytes, TClock::time_point now)
{
    if (!Paced()) return;
    Refill(now);
    fTokens -= static_cast<double>(bytes);
}

TLinePacer::TClock::time_point TLinePacer::ReadyAt(double bytes, TClock::time_point now)
{
    if (!Paced()) return now;
    Refill(now);
    bytes = std::min(bytes, fBurst); // the bucket never holds more than that
    if (fTokens >= bytes) return now;
    const std::chrono::duration<double> wait((bytes - fTokens) / fRate);
    // Round up so that a wake-up at the returned moment finds the bytes really there.
    return now + std::chrono::ceil<TClock::duration>(wait);
}
