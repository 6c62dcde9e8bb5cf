#include "sim/TLinePacer.h"

#include <algorithm>
#include <limits>

TLinePacer::TLinePacer(double bytesPerSecond, double burst, TClock::time_point now)
    : rate_(std::max(0.0, bytesPerSecond)), burst_(std::max(0.0, burst)), tokens_(burst_),
      last_(now)
{
}

void TLinePacer::Refill(TClock::time_point now)
{
    if (now <= last_) return;
    const double elapsed = std::chrono::duration<double>(now - last_).count();
    tokens_ = std::min(burst_, tokens_ + elapsed * rate_);
    last_ = now;
}

std::size_t TLinePacer::Available(TClock::time_point now)
{
    if (!Paced()) return std::numeric_limits<std::size_t>::max();
    Refill(now);
    return tokens_ > 0 ? static_cast<std::size_t>(tokens_) : 0;
}

void TLinePacer::Consume(std::size_t bytes, TClock::time_point now)
{
    if (!Paced()) return;
    Refill(now);
    tokens_ -= static_cast<double>(bytes);
}

TLinePacer::TClock::time_point TLinePacer::ReadyAt(double bytes, TClock::time_point now)
{
    if (!Paced()) return now;
    Refill(now);
    bytes = std::min(bytes, burst_); // the bucket never holds more than that
    if (tokens_ >= bytes) return now;
    const std::chrono::duration<double> wait((bytes - tokens_) / rate_);
    // Round up so that a wake-up at the returned moment finds the bytes really there.
    return now + std::chrono::ceil<TClock::duration>(wait);
}
