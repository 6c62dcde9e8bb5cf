// Winsock first: <windows.h> would otherwise bring in the old Winsock 1 declarations.
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <mstcpip.h>
// clang-format on

#include "serial/INetworkSocket.h"
#include "system/TWakeUpEvent.h"
#include "system/TWin32Handle.h"
#include "system/Win32Error.h"

#include <cerrno>

namespace {

// A host that does not take the connection within this is as good as absent.
constexpr long ConnectTimeoutMs = 5000;
// A dead link is noticed within seconds even while nothing is sent (Windows then probes ten
// times at the interval).
constexpr unsigned long KeepIdleMs = 5000, KeepIntervalMs = 2000;

// Winsock is started once and stays for the program's life.
bool WinsockStarted()
{
    static const bool started = [] {
        WSADATA data;
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

// Winsock's reasons in errno's terms, so that the component's message says why as on Linux.
int ErrnoFor(int error)
{
    switch (error) {
    case WSAECONNREFUSED:
        return ECONNREFUSED;
    case WSAETIMEDOUT:
        return ETIMEDOUT;
    case WSAEHOSTUNREACH:
    case WSAEHOSTDOWN:
        return EHOSTUNREACH;
    case WSAENETUNREACH:
    case WSAENETDOWN:
        return ENETUNREACH;
    case WSAECONNRESET:
    case WSAECONNABORTED:
    case WSAESHUTDOWN:
        return ECONNRESET;
    case WSAHOST_NOT_FOUND:
    case WSANO_DATA:
    case WSANO_RECOVERY:
        return ENXIO;
    case WSATRY_AGAIN:
        return EAGAIN;
    case WSATYPE_NOT_FOUND:
    case WSAEINVAL:
        return EINVAL;
    case WSAENOBUFS:
        return ENOMEM;
    default:
        return EIO;
    }
}

TDeviceFailure LastFailure()
{
    return DeviceFailed(ErrnoFor(::WSAGetLastError()));
}

// Owns a socket and closes it once.
class TSocketHandle
{
public:
    explicit TSocketHandle(SOCKET socket = INVALID_SOCKET) : fSocket(socket) {}
    TSocketHandle(TSocketHandle&& other) noexcept
        : fSocket(std::exchange(other.fSocket, INVALID_SOCKET))
    {
    }
    TSocketHandle& operator=(TSocketHandle&& other) noexcept
    {
        if (this != &other) {
            Reset();
            fSocket = std::exchange(other.fSocket, INVALID_SOCKET);
        }
        return *this;
    }
    TSocketHandle(const TSocketHandle&) = delete;
    TSocketHandle& operator=(const TSocketHandle&) = delete;
    ~TSocketHandle() { Reset(); }
    SOCKET Get() const { return fSocket; }
    bool Valid() const { return fSocket != INVALID_SOCKET; }
    void Reset()
    {
        if (Valid()) ::closesocket(fSocket);
        fSocket = INVALID_SOCKET;
    }

private:
    SOCKET fSocket;
};

int ConnectOne(const addrinfo& address, TSocketHandle& socket)
{
    socket = TSocketHandle(::socket(address.ai_family, address.ai_socktype, address.ai_protocol));
    if (!socket.Valid()) return ErrnoFor(::WSAGetLastError());
    u_long nonBlocking = 1;
    if (::ioctlsocket(socket.Get(), FIONBIO, &nonBlocking) != 0)
        return ErrnoFor(::WSAGetLastError());
    if (::connect(socket.Get(), address.ai_addr, static_cast<int>(address.ai_addrlen)) == 0)
        return 0;
    if (::WSAGetLastError() != WSAEWOULDBLOCK) return ErrnoFor(::WSAGetLastError());
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(socket.Get(), &writable);
    FD_SET(socket.Get(), &failed);
    timeval limit{ConnectTimeoutMs / 1000, (ConnectTimeoutMs % 1000) * 1000};
    const int ready = ::select(0, nullptr, &writable, &failed, &limit);
    if (ready == 0) return ETIMEDOUT;
    if (ready < 0) return ErrnoFor(::WSAGetLastError());
    int error = 0;
    int length = sizeof error;
    if (::getsockopt(socket.Get(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error),
                     &length) != 0)
        return ErrnoFor(::WSAGetLastError());
    return error == 0 ? 0 : ErrnoFor(error);
}

class TWin32NetworkSocket final : public INetworkSocket
{
public:
    TWin32NetworkSocket(TSocketHandle socket, TWin32Handle event)
        : fSocket(std::move(socket)), fEvent(std::move(event))
    {
    }

    TIoResult Receive(std::span<std::byte> buffer) override
    {
        const int n = ::recv(fSocket.Get(), reinterpret_cast<char*>(buffer.data()),
                             static_cast<int>(buffer.size()), 0);
        if (n >= 0) return static_cast<std::size_t>(n);
        if (::WSAGetLastError() == WSAEWOULDBLOCK) return DeviceWouldBlock();
        return LastFailure();
    }

    TIoResult Send(std::span<const std::byte> bytes) override
    {
        const int n = ::send(fSocket.Get(), reinterpret_cast<const char*>(bytes.data()),
                             static_cast<int>(bytes.size()), 0);
        if (n >= 0) return static_cast<std::size_t>(n);
        if (::WSAGetLastError() == WSAEWOULDBLOCK) return DeviceWouldBlock();
        return LastFailure();
    }

    std::uint32_t Unacknowledged() override { return 0; } // Windows 7 cannot tell

    TSocketWait Wait(const TWakeUpEvent& wake, bool, int timeoutMs) override
    {
        // The socket's event is set for FD_READ, FD_CLOSE and, after a send that would have
        // blocked, FD_WRITE; which of them is read (and the event reset) below.
        const HANDLE handles[] = {static_cast<HANDLE>(wake.Handle()), fEvent.Get()};
        const DWORD limit = timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
        if (::WaitForMultipleObjects(2, handles, FALSE, limit) == WAIT_FAILED)
            throw Win32Error("WaitForMultipleObjects");
        TSocketWait seen;
        seen.Woken = ::WaitForSingleObject(handles[0], 0) == WAIT_OBJECT_0;
        WSANETWORKEVENTS events{};
        if (::WSAEnumNetworkEvents(fSocket.Get(), fEvent.Get(), &events) != 0) {
            seen.Readable = true; // the next receive says what is wrong
            return seen;
        }
        seen.Readable = (events.lNetworkEvents & (FD_READ | FD_CLOSE)) != 0;
        seen.Writable = (events.lNetworkEvents & FD_WRITE) != 0;
        return seen;
    }

private:
    TSocketHandle fSocket;
    TWin32Handle fEvent;
};

} // namespace

TDeviceResult<std::unique_ptr<INetworkSocket>> ConnectSocket(const TNetworkPortAddress& address)
{
    if (address.Host.empty() || address.Service.empty()) return DeviceFailed(EINVAL);
    if (!WinsockStarted()) return DeviceFailed(EIO);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* found = nullptr;
    if (const int code =
            ::getaddrinfo(address.Host.c_str(), address.Service.c_str(), &hints, &found);
        code != 0)
        return DeviceFailed(ErrnoFor(code));
    const std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> owner(found, ::freeaddrinfo);
    TSocketHandle socket;
    int error = ENXIO;
    for (const addrinfo* a = found; a != nullptr; a = a->ai_next)
        if ((error = ConnectOne(*a, socket)) == 0) break;
    if (error != 0) return DeviceFailed(error);

    // Each only makes the link better; a system without one still connects.
    const BOOL on = TRUE;
    ::setsockopt(socket.Get(), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on),
                 sizeof on);
    tcp_keepalive keepAlive{1, KeepIdleMs, KeepIntervalMs};
    DWORD ignored = 0;
    ::WSAIoctl(socket.Get(), SIO_KEEPALIVE_VALS, &keepAlive, sizeof keepAlive, nullptr, 0, &ignored,
               nullptr, nullptr);

    TWin32Handle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event.Valid()) return DeviceFailed(ENOMEM);
    if (::WSAEventSelect(socket.Get(), event.Get(), FD_READ | FD_WRITE | FD_CLOSE) != 0)
        return LastFailure();
    return std::unique_ptr<INetworkSocket>(
        std::make_unique<TWin32NetworkSocket>(std::move(socket), std::move(event)));
}
