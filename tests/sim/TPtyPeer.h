#pragma once
// The program's end of a simulated device, opened with plain POSIX calls.

#include "system/TFileDescriptor.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <string_view>
#include <termios.h>
#include <unistd.h>

class TPtyPeer
{
public:
    using TClock = std::chrono::steady_clock;
    // Generous: only a hang should ever reach it, even on a loaded machine.
    static constexpr std::chrono::seconds Patience{20};

    explicit TPtyPeer(const std::string& path)
        : fD(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC))
    {
        if (!fD.Valid()) {
            ADD_FAILURE() << "cannot open " << path << ": " << std::strerror(errno);
            return;
        }
        termios settings{};
        if (::tcgetattr(fD.Get(), &settings) == 0) {
            ::cfmakeraw(&settings);
            ::tcsetattr(fD.Get(), TCSANOW, &settings);
        }
    }

    int Fd() const { return fD.Get(); }

    // Writes everything, waiting for room as a serial driver would.
    bool Write(std::string_view bytes)
    {
        const auto deadline = TClock::now() + Patience;
        while (!bytes.empty()) {
            const ssize_t n = ::write(fD.Get(), bytes.data(), bytes.size());
            if (n > 0) {
                bytes.remove_prefix(static_cast<std::size_t>(n));
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
            if (!WaitFor(POLLOUT, deadline)) return false;
        }
        return true;
    }

    // Reads until `needle` has arrived; returns everything read (also on timeout or hang-up,
    // so a failing test shows what came).
    std::string ReadUntil(std::string_view needle)
    {
        const auto deadline = TClock::now() + Patience;
        std::string received;
        while (received.find(needle) == std::string::npos) {
            char buffer[4096];
            const ssize_t n = ::read(fD.Get(), buffer, sizeof buffer);
            if (n > 0) {
                received.append(buffer, static_cast<std::size_t>(n));
                continue;
            }
            if (n == 0 || (errno != EAGAIN && errno != EINTR)) break;
            if (!WaitFor(POLLIN, deadline)) break;
        }
        return received;
    }

    // True once the far end has gone (hang-up or error reported on the descriptor).
    bool WaitForHangUp()
    {
        pollfd fd{fD.Get(), POLLIN, 0};
        const auto deadline = TClock::now() + Patience;
        while (TClock::now() < deadline) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now());
            if (::poll(&fd, 1, static_cast<int>(left.count()) + 1) < 0 && errno != EINTR)
                return false;
            if (fd.revents & (POLLHUP | POLLERR)) return true;
            if (fd.revents & POLLIN) { // drain what was sent before the line went
                char buffer[4096];
                const ssize_t n = ::read(fD.Get(), buffer, sizeof buffer);
                if (n == 0 || (n < 0 && errno == EIO)) return true;
            }
        }
        return false;
    }

private:
    bool WaitFor(short events, TClock::time_point deadline)
    {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now());
        if (left.count() <= 0) return false;
        pollfd fd{fD.Get(), events, 0};
        const int rc = ::poll(&fd, 1, static_cast<int>(left.count()) + 1);
        return rc > 0 || (rc < 0 && errno == EINTR);
    }

    TFileDescriptor fD;
};
