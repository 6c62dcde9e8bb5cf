#pragma once
// A connected, non-blocking TCP socket: the operating system's part of a port across the network,
// one backend file per platform (PosixNetworkSocket.cpp, Win32NetworkSocket.cpp).

#include "serial/ISerialDevice.h"
#include "serial/TRfc2217Codec.h"

#include <cstdint>
#include <memory>
#include <span>

class TWakeUpEvent;

// What ended one wait on the socket; all false: the time-out passed.
struct TSocketWait
{
    bool Woken = false;    // the wake-up event was raised
    bool Readable = false; // bytes, or the end of the connection, wait to be received
    bool Writable = false; // asked about, and the socket takes bytes now
};

class INetworkSocket
{
public:
    virtual ~INetworkSocket() = default;
    // Bytes received; 0 when the server closed the connection; WouldBlock when nothing waits.
    virtual TIoResult Receive(std::span<std::byte> buffer) = 0;
    virtual TIoResult Send(std::span<const std::byte> bytes) = 0;
    // Bytes sent but not yet acknowledged by the server; 0 where the system cannot tell.
    virtual std::uint32_t Unacknowledged() = 0;
    virtual TSocketWait Wait(const TWakeUpEvent& wake, bool wantWrite, int timeoutMs) = 0;
};

// Resolves the host and connects (within a few seconds), with TCP_NODELAY and keep-alive. Failed
// with an errno value: ENXIO when the resolver knows no such host, EINVAL when the name lacks the
// host or the port, else the connection's own reason.
TDeviceResult<std::unique_ptr<INetworkSocket>> ConnectSocket(const TNetworkPortAddress& address);
