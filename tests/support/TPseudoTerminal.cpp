#include "tests/support/TPseudoTerminal.h"

#include <cerrno>
#include <climits>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

namespace pty_io {
namespace {

// Waits for `events` until the deadline; false once it has passed.
bool WaitFor(int fd, short events, TClock::time_point deadline)
{
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now());
    if (left.count() <= 0) return false;
    pollfd wait{fd, events, 0};
    const int rc = ::poll(&wait, 1, static_cast<int>(left.count()) + 1);
    return rc > 0 || (rc < 0 && errno == EINTR);
}

void MakeRaw(int fd)
{
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0) return;
    ::cfmakeraw(&settings);
    ::tcsetattr(fd, TCSANOW, &settings);
}

} // namespace

bool WriteAll(int fd, std::string_view bytes, std::chrono::milliseconds timeout)
{
    const auto deadline = TClock::now() + timeout;
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
        if (!WaitFor(fd, POLLOUT, deadline)) return false;
    }
    return true;
}

std::string ReadUntil(int fd, std::string_view needle, std::size_t count,
                      std::chrono::milliseconds timeout)
{
    const auto deadline = TClock::now() + timeout;
    std::string received;
    while (received.size() < count &&
           (needle.empty() || received.find(needle) == std::string::npos)) {
        char buffer[65536];
        const ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, count - received.size()));
        if (n > 0) {
            received.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        if (n == 0 || (errno != EAGAIN && errno != EINTR)) break;
        if (!WaitFor(fd, POLLIN, deadline)) break;
    }
    return received;
}

} // namespace pty_io

TPseudoTerminal::TPseudoTerminal()
{
    int master = -1;
    int slave = -1;
    char name[PATH_MAX] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    fMaster.Reset(master);
    fSlave.Reset(slave);
    fPath = name;
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    pty_io::MakeRaw(slave);
}

void TPseudoTerminal::Send(std::string_view bytes)
{
    if (!pty_io::WriteAll(fMaster.Get(), bytes))
        throw std::runtime_error("pseudo-terminal master not writable");
}

std::size_t TPseudoTerminal::CapacityBytes()
{
    TPseudoTerminal pty;
    const int slave = pty.fSlave.Get();
    ::fcntl(slave, F_SETFL, ::fcntl(slave, F_GETFL) | O_NONBLOCK);
    const char block[1024] = {};
    std::size_t total = 0;
    for (ssize_t n; (n = ::write(slave, block, sizeof block)) > 0;)
        total += static_cast<std::size_t>(n);
    return total;
}

TProgramEnd::TProgramEnd(const std::string& path)
    : fFd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC))
{
    if (fFd.Valid()) pty_io::MakeRaw(fFd.Get());
}

bool TProgramEnd::WaitForHangUp()
{
    const auto deadline = pty_io::TClock::now() + pty_io::Patience;
    while (pty_io::TClock::now() < deadline) {
        pollfd wait{fFd.Get(), POLLIN, 0};
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - pty_io::TClock::now());
        if (::poll(&wait, 1, static_cast<int>(left.count()) + 1) < 0 && errno != EINTR)
            return false;
        if (wait.revents & (POLLHUP | POLLERR)) return true;
        if (wait.revents & POLLIN) { // drain what was sent before the line went
            char buffer[4096];
            const ssize_t n = ::read(fFd.Get(), buffer, sizeof buffer);
            if (n == 0 || (n < 0 && errno == EIO)) return true;
        }
    }
    return false;
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
