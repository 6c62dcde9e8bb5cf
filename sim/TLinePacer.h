#pragma once
// Token bucket that holds a byte stream to the speed of a serial line.

#include <chrono>
#include <cstddef>

class TLinePacer
{
public:
    using TClock = std::chrono::steady_clock;

    // bytesPerSecond 0 means unpaced. `burst` is how many bytes an idle line may bank, so that a
    // short message after a pause passes at once; 0 makes every byte wait for its own time.
    TLinePacer(double bytesPerSecond, double burst, TClock::time_point now);

    // A character on the line is a start bit, 8 data bits and a stop bit.
    static double BytesPerSecondForBaud(int baud) { return baud > 0 ? baud / 10.0 : 0.0; }

    bool Paced() const { return fRate > 0; }

    // Whole bytes that may pass now.
    std::size_t Available(TClock::time_point now);
    // Takes `bytes` from the bucket; the bucket may go into debt, which later bytes pay off.
    void Consume(std::size_t bytes, TClock::time_point now);
    // The moment from which `bytes` bytes (at most the burst) are available; now when they are.
    TClock::time_point ReadyAt(double bytes, TClock::time_point now);

private:
    void Refill(TClock::time_point now);

    double fRate;
    double fBurst;
    double fTokens;
    TClock::time_point fLast;
};
