#pragma once

#include "system/TWakeUpEvent.h"

#include <atomic>
#include <cstddef>
#include <thread>

// Plays a device that sends as fast as the pseudo-terminal takes it: a repeating byte
// pattern (0, 1, ..., 250, 0, ...) written to the master side from its own thread.
class TPtyFlooder
{
public:
    explicit TPtyFlooder(int master);
    ~TPtyFlooder(); // stops and joins
    void Stop();
    size_t BytesSent() const { return fSent.load(); }
    static char PatternByte(size_t index) { return static_cast<char>(index % 251); }

private:
    void Run(int master);

    TWakeUpEvent fStop;
    std::atomic<size_t> fSent = 0;
    std::thread fThread;
};
