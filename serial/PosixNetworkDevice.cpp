#include "serial/PosixNetworkDevice.h"

#include "serial/SerialConstants.h"
#include "system/ErrnoError.h"
#include "system/TWakeUpEvent.h"

#include <algorithm>
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
// How long the server is given to agree to COM port control before the settings go anyway.
constexpr std::chrono::milliseconds NegotiationTime{2000};
// A dead link (a pulled network cable, a server machine switched off) is noticed within about
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

} // namespace

TDeviceResult<std::unique_ptr<ISerialDevice>>
TPosixNetworkDevice::Connect(const TNetworkPortAddress& address)
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
    TFileDescriptor socket;
    int error = ENXIO;
    for (const addrinfo* a = found; a != nullptr; a = a->ai_next)
        if ((error = ConnectOne(*a, socket)) == 0) break;
    if (error != 0) return DeviceFailed(error);

    SetOption(socket.Get(), IPPROTO_TCP, TCP_NODELAY, 1); // a prompt's answer goes out at once
    SetOption(socket.Get(), SOL_SOCKET, SO_KEEPALIVE, 1);
    SetOption(socket.Get(), IPPROTO_TCP, TCP_KEEPIDLE, KeepIdle);
    SetOption(socket.Get(), IPPROTO_TCP, TCP_KEEPINTVL, KeepInterval);
    SetOption(socket.Get(), IPPROTO_TCP, TCP_KEEPCNT, KeepCount);

    auto device = std::make_unique<TPosixNetworkDevice>(std::move(socket), address.Telnet);
    if (address.Telnet) {
        std::lock_guard lock(device->fMutex);
        device->Send(device->fCodec.Greeting());
        device->AwaitComPortControl(NegotiationTime);
        if (device->fError != 0) return DeviceFailed(device->fError);
    }
    return std::unique_ptr<ISerialDevice>(std::move(device));
}

TPosixNetworkDevice::TPosixNetworkDevice(TFileDescriptor socket, bool telnet)
    : fSocket(std::move(socket)), fCodec(telnet), fLineFreeAt(TClock::now())
{
    fState.BaudRate = 115200;
}

bool TPosixNetworkDevice::AwaitComPortControl(std::chrono::milliseconds limit)
{
    const auto deadline = TClock::now() + limit;
    while (!fCodec.ComPortAccepted() && fError == 0) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - TClock::now()).count();
        if (left <= 0) return false;
        pollfd fd{fSocket.Get(), POLLIN, 0};
        if (::poll(&fd, 1, static_cast<int>(left)) < 0 && errno != EINTR) return false;
        TakeReceived();
    }
    return fCodec.ComPortAccepted();
}

void TPosixNetworkDevice::TakeReceived()
{
    std::byte buffer[4096];
    std::string reply;
    while (fError == 0) {
        const ssize_t n = ::recv(fSocket.Get(), buffer, sizeof buffer, 0);
        if (n < 0 && IsTransient(errno)) break;
        if (n <= 0) {
            fError = n == 0 ? ECONNRESET : errno; // the server closed the connection
            break;
        }
        fCodec.Decode(std::span(buffer, static_cast<std::size_t>(n)), fReceived, reply);
    }
    if (!reply.empty()) Send(std::move(reply));
}

void TPosixNetworkDevice::Send(std::string bytes)
{
    fUnsent += bytes;
    SendUnsent();
}

bool TPosixNetworkDevice::SendUnsent()
{
    while (!fUnsent.empty() && fError == 0) {
        const ssize_t n = ::send(fSocket.Get(), fUnsent.data(), fUnsent.size(), MSG_NOSIGNAL);
        if (n < 0 && IsTransient(errno)) break;
        if (n < 0) {
            fError = errno;
            break;
        }
        fUnsent.erase(0, static_cast<std::size_t>(n));
    }
    return fError == 0;
}

std::uint32_t TPosixNetworkDevice::LineBacklog(TClock::time_point now) const
{
    if (fLineFreeAt <= now || fState.BaudRate == 0) return 0;
    const double bits = 2.0 + fState.ByteSize + (fState.Parity != 0 ? 1 : 0); // start, stop
    const double seconds = std::chrono::duration<double>(fLineFreeAt - now).count();
    return static_cast<std::uint32_t>(seconds * fState.BaudRate / bits + 0.999);
}

TDeviceResult<TDeviceControlBlock> TPosixNetworkDevice::GetState()
{
    std::lock_guard lock(fMutex);
    return fState;
}

TDeviceResult<> TPosixNetworkDevice::SetState(const TDeviceControlBlock& state)
{
    std::lock_guard lock(fMutex);
    fState = state;
    Send(fCodec.Settings(state));
    if (fError != 0) return DeviceFailed(fError);
    return {};
}

TIoResult TPosixNetworkDevice::Read(std::span<std::byte> buffer)
{
    std::lock_guard lock(fMutex);
    if (buffer.empty()) return {};
    TakeReceived();
    if (fReceived.empty())
        return fError != 0 ? TIoResult(DeviceFailed(fError)) : DeviceWouldBlock();
    const std::size_t n = std::min(buffer.size(), fReceived.size());
    std::copy_n(reinterpret_cast<const std::byte*>(fReceived.data()), n, buffer.data());
    fReceived.erase(0, n);
    return n;
}

TIoResult TPosixNetworkDevice::Write(std::span<const std::byte> data)
{
    std::lock_guard lock(fMutex);
    if (data.empty()) return {};
    if (fError != 0) return DeviceFailed(fError);
    // What the socket did not take stays queued here, whole, so that an escaped 0xFF or a
    // command is never cut; more is taken only once it has gone.
    if (!SendUnsent()) return DeviceFailed(fError);
    if (!fUnsent.empty()) return DeviceWouldBlock();
    Send(fCodec.Encode(data));
    if (fError != 0) return DeviceFailed(fError);
    const double bits = 2.0 + fState.ByteSize + (fState.Parity != 0 ? 1 : 0);
    const auto now = TClock::now();
    if (fState.BaudRate > 0)
        fLineFreeAt = std::max(fLineFreeAt, now) +
                      std::chrono::duration_cast<TClock::duration>(std::chrono::duration<double>(
                          static_cast<double>(data.size()) * bits / fState.BaudRate));
    return data.size();
}

TDeviceResult<uint32_t> TPosixNetworkDevice::BytesWaiting()
{
    std::lock_guard lock(fMutex);
    TakeReceived();
    if (fReceived.empty() && fError != 0) return DeviceFailed(fError);
    return static_cast<uint32_t>(fReceived.size());
}

TDeviceResult<uint32_t> TPosixNetworkDevice::OutputQueued()
{
    std::lock_guard lock(fMutex);
    if (fError != 0) return DeviceFailed(fError);
    int inSocket = 0;
    if (::ioctl(fSocket.Get(), SIOCOUTQ, &inSocket) != 0 || inSocket < 0) inSocket = 0;
    const auto counted =
        static_cast<std::uint32_t>(inSocket) + static_cast<std::uint32_t>(fUnsent.size());
    return std::max(counted, LineBacklog(TClock::now()));
}

TDeviceResult<bool> TPosixNetworkDevice::TransmitterEmpty()
{
    const TDeviceResult<uint32_t> queued = OutputQueued();
    if (!queued) return queued.Failure();
    return *queued == 0;
}

TDeviceResult<> TPosixNetworkDevice::Purge(uint32_t flags)
{
    std::lock_guard lock(fMutex);
    const bool transmit = (flags & (PURGE_TXABORT | PURGE_TXCLEAR)) != 0;
    const bool receive = (flags & (PURGE_RXABORT | PURGE_RXCLEAR)) != 0;
    if (receive) {
        TakeReceived();
        fReceived.clear();
    }
    // What already left this machine cannot be called back; the server is asked to drop what
    // it still holds, and the line's backlog is forgotten with it.
    if (transmit) fLineFreeAt = TClock::now();
    Send(fCodec.Purge(receive, transmit));
    if (fError != 0) return DeviceFailed(fError);
    return {};
}

TDeviceResult<uint32_t> TPosixNetworkDevice::ModemStatus()
{
    std::lock_guard lock(fMutex);
    if (!fCodec.Telnet()) return DeviceUnsupported();
    // RFC 2217's modem state bits 4-7 (CTS, DSR, RI, CD) are the MS_ bits.
    return static_cast<uint32_t>(fCodec.ModemState() & 0xF0);
}

TPortWait TPosixNetworkDevice::Wait(const TWakeUpEvent& wake, bool wantWrite, int timeoutMs)
{
    {
        std::lock_guard lock(fMutex);
        if (!fReceived.empty() || fError != 0)
            return {.Readable = !fReceived.empty(), .Lost = fError != 0};
        wantWrite = wantWrite || !fUnsent.empty();
    }
    pollfd fds[2] = {{wake.Descriptor(), POLLIN, 0},
                     {fSocket.Get(), static_cast<short>(POLLIN | (wantWrite ? POLLOUT : 0)), 0}};
    const int ready = ::poll(fds, 2, timeoutMs);
    if (ready < 0 && errno != EINTR && errno != EAGAIN) throw ErrnoError("poll");
    if (ready <= 0) return {};
    const short seen = fds[1].revents;
    std::lock_guard lock(fMutex);
    if (seen & (POLLIN | POLLHUP | POLLERR)) TakeReceived();
    if (seen & POLLOUT) SendUnsent();
    return {.Woken = (fds[0].revents & POLLIN) != 0,
            .Readable = !fReceived.empty(),
            .Writable = (seen & POLLOUT) != 0 && fUnsent.empty(),
            .Lost = fError != 0 || (seen & POLLNVAL) != 0};
}
