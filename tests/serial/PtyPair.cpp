#include "tests/serial/PtyPair.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

TPtyPair::TPtyPair()
{
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    fMaster.Reset(master);
    fSlave.Reset(slave);
    fSlavePath = name;
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    termios tio{};
    ::tcgetattr(slave, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(slave, TCSANOW, &tio);
}

void TPtyPair::Send(std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fMaster.Get(), bytes.data(), bytes.size());
        if (n > 0) {
            bytes.remove_prefix(static_cast<size_t>(n));
            continue;
        }
        pollfd fd{fMaster.Get(), POLLOUT, 0};
        if (::poll(&fd, 1, 20000) <= 0) throw std::runtime_error("pty master not writable");
    }
}

std::string TPtyPair::Receive(size_t count, std::chrono::milliseconds timeout)
{
    std::string result;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    char buffer[65536];
    while (result.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd fd{fMaster.Get(), POLLIN, 0};
        if (::poll(&fd, 1, static_cast<int>(left.count())) <= 0) continue;
        const ssize_t n =
            ::read(fMaster.Get(), buffer, std::min(sizeof buffer, count - result.size()));
        if (n > 0)
            result.append(buffer, static_cast<size_t>(n));
        else if (n == 0)
            break;
    }
    return result;
}

void TPtyPair::CloseMaster()
{
    fMaster.Reset();
}

void TPtyPair::CloseSlave()
{
    fSlave.Reset();
}

int OpenDescriptorCount()
{
    int count = 0;
    if (DIR* dir = ::opendir("/proc/self/fd")) {
        while (const dirent* entry = ::readdir(dir))
            if (entry->d_name[0] != '.') ++count;
        ::closedir(dir);
        --count; // the directory stream itself
    }
    return count;
}
