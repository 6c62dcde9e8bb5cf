#include "serial/TNetworkSerialDevice.h"

#include "serial/SerialConstants.h"
#include "system/TWakeUpEvent.h"

#include <algorithm>
#include <cerrno>

namespace {

// How long the server is given to agree to COM port control before the settings go anyway.
constexpr std::chrono::milliseconds NegotiationTime{2000};

std::span<const std::byte> Bytes(const std::string& text)
{
    return std::as_bytes(std::span(text.data(), text.size()));
}

} // namespace

TDeviceResult<std::unique_ptr<ISerialDevice>>
TNetworkSerialDevice::Open(const TNetworkPortAddress& address)
{
    auto socket = ConnectSocket(address);
    if (!socket) return socket.Failure();
    auto device = std::make_unique<TNetworkSerialDevice>(std::move(socket.Value), address.Telnet);
    if (address.Telnet) {
        const TWakeUpEvent never;
        std::lock_guard lock(device->fMutex);
        device->Send(device->fCodec.Greeting());
        device->AwaitComPortControl(NegotiationTime, never);
        if (device->fError != 0) return DeviceFailed(device->fError);
    }
    return std::unique_ptr<ISerialDevice>(std::move(device));
}

TNetworkSerialDevice::TNetworkSerialDevice(std::unique_ptr<INetworkSocket> socket, bool telnet)
    : fSocket(std::move(socket)), fCodec(telnet), fLineFreeAt(TClock::now())
{
    fState.BaudRate = 115200;
}

void TNetworkSerialDevice::AwaitComPortControl(std::chrono::milliseconds limit,
                                               const TWakeUpEvent& idle)
{
    const auto deadline = TClock::now() + limit;
    while (!fCodec.ComPortAccepted() && fError == 0) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - TClock::now());
        if (left.count() <= 0) return; // a server without RFC 2217 gets the settings anyway
        fSocket->Wait(idle, false, static_cast<int>(left.count()));
        TakeReceived();
    }
}

void TNetworkSerialDevice::TakeReceived()
{
    std::byte buffer[4096];
    std::string reply;
    while (fError == 0) {
        const TIoResult n = fSocket->Receive(buffer);
        if (n.Status == TIoStatus::WouldBlock) break;
        if (!n || *n == 0) {
            fError = n ? ECONNRESET : n.Error; // 0 bytes: the server closed the connection
            break;
        }
        fCodec.Decode(std::span(buffer, *n), fReceived, reply);
    }
    if (!reply.empty()) Send(reply);
}

void TNetworkSerialDevice::Send(const std::string& bytes)
{
    fUnsent += bytes;
    SendUnsent();
}

void TNetworkSerialDevice::SendUnsent()
{
    while (!fUnsent.empty() && fError == 0) {
        const TIoResult n = fSocket->Send(Bytes(fUnsent));
        if (n.Status == TIoStatus::WouldBlock) break;
        if (!n) {
            fError = n.Error;
            break;
        }
        fUnsent.erase(0, *n);
    }
}

double TNetworkSerialDevice::BitsPerCharacter() const
{
    // Start and stop bit, the data, the parity bit if there is one.
    return 2.0 + fState.ByteSize + (fState.Parity != 0 ? 1 : 0);
}

std::uint32_t TNetworkSerialDevice::LineBacklog(TClock::time_point now) const
{
    if (fLineFreeAt <= now || fState.BaudRate == 0) return 0;
    const double seconds = std::chrono::duration<double>(fLineFreeAt - now).count();
    return static_cast<std::uint32_t>(seconds * fState.BaudRate / BitsPerCharacter() + 0.999);
}

TDeviceResult<TDeviceControlBlock> TNetworkSerialDevice::GetState()
{
    std::lock_guard lock(fMutex);
    return fState;
}

TDeviceResult<> TNetworkSerialDevice::SetState(const TDeviceControlBlock& state)
{
    std::lock_guard lock(fMutex);
    fState = state;
    Send(fCodec.Settings(state));
    if (fError != 0) return DeviceFailed(fError);
    return {};
}

TIoResult TNetworkSerialDevice::Read(std::span<std::byte> buffer)
{
    std::lock_guard lock(fMutex);
    if (buffer.empty()) return {};
    TakeReceived();
    if (fReceived.empty())
        return fError != 0 ? TIoResult(DeviceFailed(fError)) : DeviceWouldBlock();
    const std::size_t n = std::min(buffer.size(), fReceived.size());
    std::copy_n(Bytes(fReceived).begin(), n, buffer.begin());
    fReceived.erase(0, n);
    return n;
}

TIoResult TNetworkSerialDevice::Write(std::span<const std::byte> data)
{
    std::lock_guard lock(fMutex);
    if (data.empty()) return {};
    // What the socket did not take stays queued here, whole, so that an escaped 0xFF or a
    // command is never cut; more is taken only once it has gone.
    SendUnsent();
    if (fError != 0) return DeviceFailed(fError);
    if (!fUnsent.empty()) return DeviceWouldBlock();
    Send(fCodec.Encode(data));
    if (fError != 0) return DeviceFailed(fError);
    if (fState.BaudRate > 0) {
        const std::chrono::duration<double> onTheLine(static_cast<double>(data.size()) *
                                                      BitsPerCharacter() / fState.BaudRate);
        fLineFreeAt = std::max(fLineFreeAt, TClock::now()) +
                      std::chrono::duration_cast<TClock::duration>(onTheLine);
    }
    return data.size();
}

TDeviceResult<uint32_t> TNetworkSerialDevice::BytesWaiting()
{
    std::lock_guard lock(fMutex);
    TakeReceived();
    if (fReceived.empty() && fError != 0) return DeviceFailed(fError);
    return static_cast<uint32_t>(fReceived.size());
}

TDeviceResult<uint32_t> TNetworkSerialDevice::OutputQueued()
{
    std::lock_guard lock(fMutex);
    if (fError != 0) return DeviceFailed(fError);
    const auto counted = fSocket->Unacknowledged() + static_cast<std::uint32_t>(fUnsent.size());
    return std::max(counted, LineBacklog(TClock::now()));
}

TDeviceResult<bool> TNetworkSerialDevice::TransmitterEmpty()
{
    const TDeviceResult<uint32_t> queued = OutputQueued();
    if (!queued) return queued.Failure();
    return *queued == 0;
}

TDeviceResult<> TNetworkSerialDevice::Purge(uint32_t flags)
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

TDeviceResult<uint32_t> TNetworkSerialDevice::ModemStatus()
{
    std::lock_guard lock(fMutex);
    if (!fCodec.Telnet()) return DeviceUnsupported();
    // RFC 2217's modem state bits 4-7 (CTS, DSR, RI, CD) are the MS_ bits.
    return static_cast<uint32_t>(fCodec.ModemState() & 0xF0);
}

TPortWait TNetworkSerialDevice::Wait(const TWakeUpEvent& wake, bool wantWrite, int timeoutMs)
{
    bool waitToWrite = false;
    {
        std::lock_guard lock(fMutex);
        // Decoded bytes not read yet, a lost connection, or room for more output: no wait.
        const bool writable = wantWrite && fUnsent.empty();
        if (!fReceived.empty() || fError != 0 || writable)
            return {.Readable = !fReceived.empty(), .Writable = writable, .Lost = fError != 0};
        waitToWrite = !fUnsent.empty();
    }
    const TSocketWait seen = fSocket->Wait(wake, waitToWrite, timeoutMs);
    std::lock_guard lock(fMutex);
    if (seen.Readable) TakeReceived();
    if (seen.Writable) SendUnsent();
    return {.Woken = seen.Woken,
            .Readable = !fReceived.empty(),
            .Writable = wantWrite && fUnsent.empty(),
            .Lost = fError != 0};
}
