#pragma once
// What tarvel-flash needs of the console it runs in: whether its output is a terminal, the
// machine's name (the station in a rig's records), and Ctrl-C
// (or a request to terminate) taken by one thread of its own, never in the middle of a transfer
// step. Make it first, before any other thread exists.

#include <functional>
#include <string>
#include <thread>

class TConsole
{
public:
    TConsole();
    ~TConsole(); // ends the watch
    TConsole(const TConsole&) = delete;
    TConsole& operator=(const TConsole&) = delete;

    static bool OutputIsTerminal();
    static std::string HostName();
    // From now on each interrupt calls onInterrupt, on a thread of the console's.
    void WatchInterrupts(std::function<void()> onInterrupt);
    // No interrupt is handled after this returns.
    void StopWatching();

private:
    std::function<void()> fOnInterrupt;
    std::thread fWatcher; // Linux: waits for the blocked signals
};
