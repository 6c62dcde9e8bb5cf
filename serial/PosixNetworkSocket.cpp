#include "serial/INetworkSocket.h"

#include "system/ErrnoError.h"
#include "system/TFileDescriptor.h"
#include "system/TWakeUpEvent.h"

#include <cerrno>
#include <fcntl.h>
#include <linux/sockios.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A host that does not take the connection within this is as good as absent.
constexpr int ConnectTimeoutMs = 5000;
// A dead link (a pulled network cable, a server switched off) is noticed within about
// KeepIdle + KeepCount * KeepInterval seconds even while nothing is sent.
constexpr int KeepIdle = 5, KeepInterval = 2, KeepCount = 3;

bool IsTransient(int error)
{
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

// The resolver's failures in errno's terms, so that the component's message can say why.
int ResolverErrno(int code)
{
    switch (code) {
    case EAI_SYSTEM:
        return errno;
    case EAI_AGAIN:
        return EAGAIN;
    case EAI_MEMORY:
        return ENOMEM;
    case EAI_SERVICE:
        return EINVAL;
    default:
        return ENXIO; // no such host
    }
}

int ConnectOne(const addrinfo& address, TFileDescriptor& socket)
{
    socket.Reset(::socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                          address.ai_protocol));
    if (!socket.Valid()) return errno;
    if (::connect(socket.Get(), address.ai_addr, address.ai_addrlen) == 0) return 0;
    if (errno != EINPROGRESS) return errno;
    pollfd fd{socket.Get(), POLLOUT, 0};
    int ready;
    do {
        ready = ::poll(&fd, 1, ConnectTimeoutMs);
    } while (ready < 0 && errno == EINTR);
    if (ready == 0) return ETIMEDOUT;
    if (ready < 0) return errno;
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(socket.Get(), SOL_SOCKET, SO_ERROR, &error, &length) != 0) return errno;
    return error;
}

void SetOption(int fd, int level, int name, int value)
{
    // Each only makes the link better; a system without one still connects.
    ::setsockopt(fd, level, name, &value, sizeof value);
}

class TPosixNetworkSocket final : public INetworkSocket
{
public:
    explicit TPosixNetworkSocket(TFileDescriptor fd) : fFd(std::move(fd)) {}

    TIoResult Receive(std::span<std::byte> buffer) override
    {
        const ssize_t n = ::recv(fFd.Get(), buffer.data(), buffer.size(), 0);
        if (n >= 0) return static_cast<std::size_t>(n);
        if (IsTransient(errno)) return DeviceWouldBlock();
        return DeviceFailed(errno);
    }

    TIoResult Send(std::span<const std::byte> bytes) override
    {
        const ssize_t n = ::send(fFd.Get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n >= 0) return static_cast<std::size_t>(n);
        if (IsTransient(errno)) return DeviceWouldBlock();
        return DeviceFailed(errno);
    }

    std::uint32_t Unacknowledged() override
    {
        int n = 0;
        if (::ioctl(fFd.Get(), SIOCOUTQ, &n) != 0 || n < 0) return 0;
        return static_cast<std::uint32_t>(n);
    }

    TSocketWait Wait(const TWakeUpEvent& wake, bool wantWrite, int timeoutMs) override
    {
        pollfd fds[2] = {{wake.Descriptor(), POLLIN, 0},
                         {fFd.Get(), static_cast<short>(POLLIN | (wantWrite ? POLLOUT : 0)), 0}};
        const int ready = ::poll(fds, 2, timeoutMs);
        if (ready < 0 && errno != EINTR && errno != EAGAIN) throw ErrnoError("poll");
        if (ready <= 0) return {};
        const short seen = fds[1].revents;
        // A hang-up or an error is read as the end of the connection.
        return {.Woken = (fds[0].revents & POLLIN) != 0,
                .Readable = (seen & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) != 0,
                .Writable = (seen & POLLOUT) != 0};
    }

private:
    TFileDescriptor fFd;
};

} // namespace

TDeviceResult<std::unique_ptr<INetworkSocket>> ConnectSocket(const TNetworkPortAddress& address)
{
    if (address.Host.empty() || address.Service.empty()) return DeviceFailed(EINVAL);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (const int code =
            ::getaddrinfo(address.Host.c_str(), address.Service.c_str(), &hints, &found);
        code != 0)
        return DeviceFailed(ResolverErrno(code));
    const std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> owner(found, ::freeaddrinfo);
    TFileDescriptor fd;
    int error = ENXIO;
    for (const addrinfo* a = found; a != nullptr; a = a->ai_next)
        if ((error = ConnectOne(*a, fd)) == 0) break;
    if (error != 0) return DeviceFailed(error);

    SetOption(fd.Get(), IPPROTO_TCP, TCP_NODELAY, 1); // a prompt's answer goes out at once
    SetOption(fd.Get(), SOL_SOCKET, SO_KEEPALIVE, 1);
    SetOption(fd.Get(), IPPROTO_TCP, TCP_KEEPIDLE, KeepIdle);
    SetOption(fd.Get(), IPPROTO_TCP, TCP_KEEPINTVL, KeepInterval);
    SetOption(fd.Get(), IPPROTO_TCP, TCP_KEEPCNT, KeepCount);
    return std::unique_ptr<INetworkSocket>(std::make_unique<TPosixNetworkSocket>(std::move(fd)));
}
