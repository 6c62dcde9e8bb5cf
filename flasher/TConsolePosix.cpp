#include "flasher/TConsole.h"

#include <csignal>
#include <pthread.h>
#include <unistd.h>

namespace {

sigset_t WatchedSignals()
{
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGUSR1); // our own: the watch is over
    return signals;
}

} // namespace

std::string TConsole::HostName()
{
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return "";
    return name;
}

TConsole::TConsole()
{
    // Blocked before any thread exists, so every thread inherits the mask and only sigwait sees
    // them.
    const sigset_t signals = WatchedSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

TConsole::~TConsole()
{
    StopWatching();
}

bool TConsole::OutputIsTerminal()
{
    return ::isatty(STDOUT_FILENO) != 0;
}

void TConsole::WatchInterrupts(std::function<void()> onInterrupt)
{
    fOnInterrupt = std::move(onInterrupt);
    fWatcher = std::thread([this] {
        const sigset_t signals = WatchedSignals();
        int signal = 0;
        while (sigwait(&signals, &signal) == 0 && signal != SIGUSR1)
            fOnInterrupt();
    });
}

void TConsole::StopWatching()
{
    if (!fWatcher.joinable()) return;
    pthread_kill(fWatcher.native_handle(), SIGUSR1);
    fWatcher.join();
}
