#pragma once
// The far end of a pseudo-terminal, standing in for a device: the window opens DevicePath(), the
// test writes what the device says and reads what the window sent. It is served by the main
// thread's event loop, so it runs exactly when the program processes events.

#include "tests/support/TPseudoTerminal.h"

#include <QSocketNotifier>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

class TPtyPeer
{
public:
    TPtyPeer();
    ~TPtyPeer();
    TPtyPeer(const TPtyPeer&) = delete;
    TPtyPeer& operator=(const TPtyPeer&) = delete;

    const std::string& DevicePath() const { return fPty.DevicePath(); }

    // Writes all of bytes (blocking while the terminal's buffer is full).
    void Send(std::string_view bytes) { fPty.Send(bytes); }
    // Bytes the window has sent so far, and the lines among them (each ended by CR).
    const std::string& Received() const { return fInput; }
    std::size_t LinesReceived() const { return fCrCount; }
    void ClearReceived() { fInput.clear(); }
    // Called on the main thread after each batch of received bytes.
    void SetOnReceive(std::function<void()> handler) { fOnReceive = std::move(handler); }
    // Unplugs the device: both ends close, as when a USB adapter is pulled.
    void HangUp();

private:
    void ReadAvailable();

    TPseudoTerminal fPty;
    std::string fInput;
    std::size_t fCrCount = 0;
    std::function<void()> fOnReceive;
    std::unique_ptr<QSocketNotifier> fNotifier;
};
