#pragma once
// A serial port that a server such as ser2net offers across the network: rfc2217://HOST:PORT
// (the line's settings, DTR, RTS and purges reach the real port) or tcp://HOST:PORT (bytes
// only). Since the server's own buffers cannot be seen, what is queued counts what the line, at
// the rate it was set to, has not yet carried: the transfer's bound on what runs ahead of the
// wire holds as on a local port.

#include "serial/INetworkSocket.h"
#include "serial/ISerialDevice.h"
#include "serial/TRfc2217Codec.h"

#include <chrono>
#include <memory>
#include <mutex>
#include <string>

class TNetworkSerialDevice final : public ISerialDevice
{
public:
    // Connects and, over RFC 2217, waits briefly for the server to agree to COM port control.
    static TDeviceResult<std::unique_ptr<ISerialDevice>> Open(const TNetworkPortAddress& address);

    TNetworkSerialDevice(std::unique_ptr<INetworkSocket> socket, bool telnet);

    TDeviceResult<TDeviceControlBlock> GetState() override;
    TDeviceResult<> SetState(const TDeviceControlBlock& state) override;
    TDeviceResult<> SetQueueSizes(uint32_t, uint32_t) override { return {}; }
    TDeviceResult<> SetEventMask(uint32_t) override { return {}; }
    TIoResult Read(std::span<std::byte> buffer) override;
    TIoResult Write(std::span<const std::byte> data) override;
    TDeviceResult<uint32_t> BytesWaiting() override;
    TDeviceResult<uint32_t> OutputQueued() override;
    TDeviceResult<bool> TransmitterEmpty() override;
    TDeviceResult<> Purge(uint32_t flags) override;
    TDeviceResult<> EnterLowLatency() override { return DeviceUnsupported(); }
    void LeaveLowLatency() override {}
    TDeviceResult<uint32_t> ModemStatus() override;
    TDeviceResult<TLineErrorCounters> ErrorCounters() override { return DeviceUnsupported(); }
    TDeviceResult<> WaitModemChange(uint32_t, uint32_t) override { return DeviceUnsupported(); }
    void InterruptModemWait() override {}
    TPortWait Wait(const TWakeUpEvent& wake, bool wantWrite, int timeoutMs) override;

private:
    using TClock = std::chrono::steady_clock;
    // Everything below is guarded by fMutex: the window's thread and the port's both call.
    void TakeReceived(); // receives what the socket holds and decodes it
    void SendUnsent();
    void Send(const std::string& bytes);
    std::uint32_t LineBacklog(TClock::time_point now) const;
    double BitsPerCharacter() const;
    void AwaitComPortControl(std::chrono::milliseconds limit, const TWakeUpEvent& idle);

    std::unique_ptr<INetworkSocket> fSocket;
    std::mutex fMutex;
    TRfc2217Codec fCodec;
    TDeviceControlBlock fState;
    std::string fReceived;          // the port's bytes not read yet
    std::string fUnsent;            // what the socket did not take yet
    TClock::time_point fLineFreeAt; // when the line has carried what was written
    int fError = 0;                 // why the connection ended; 0 while it stands
};
