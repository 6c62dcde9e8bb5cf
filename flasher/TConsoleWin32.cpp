#include "flasher/TConsole.h"

#include <windows.h>

#include <io.h>
#include <mutex>

namespace {

// The console calls its handler on a thread it makes for each event; the handler reaches the
// one TConsole through here.
std::mutex gHandlerMutex;
std::function<void()>* gOnInterrupt = nullptr; // guarded by gHandlerMutex

BOOL WINAPI ConsoleHandler(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
        return FALSE;
    std::lock_guard lock(gHandlerMutex);
    if (gOnInterrupt == nullptr) return FALSE;
    (*gOnInterrupt)();
    return TRUE;
}

} // namespace

std::string TConsole::HostName()
{
    wchar_t name[256] = {};
    DWORD length = 256;
    if (!::GetComputerNameExW(ComputerNameDnsHostname, name, &length)) return "";
    char utf8[1024] = {};
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, name, static_cast<int>(length), utf8,
                                        sizeof utf8, nullptr, nullptr);
    return std::string(utf8, n > 0 ? static_cast<std::size_t>(n) : 0);
}

TConsole::TConsole()
{
    // The progress line moves with the same escape codes as on Linux.
    const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (::GetConsoleMode(out, &mode))
        ::SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

TConsole::~TConsole()
{
    StopWatching();
}

bool TConsole::OutputIsTerminal()
{
    return ::_isatty(::_fileno(stdout)) != 0;
}

void TConsole::WatchInterrupts(std::function<void()> onInterrupt)
{
    fOnInterrupt = std::move(onInterrupt);
    {
        std::lock_guard lock(gHandlerMutex);
        gOnInterrupt = &fOnInterrupt;
    }
    ::SetConsoleCtrlHandler(ConsoleHandler, TRUE);
}

void TConsole::StopWatching()
{
    ::SetConsoleCtrlHandler(ConsoleHandler, FALSE);
    std::lock_guard lock(gHandlerMutex); // a handler running now finishes first
    gOnInterrupt = nullptr;
}
