#pragma once
// The far end of a pseudo-terminal, standing in for a device: the window opens DevicePath(), the
// test writes what the device says and reads what the window sent.

#include "tests/app/EventLoopWait.h"

#include <QSocketNotifier>

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

    const std::string& DevicePath() const { return fPath; }

    // Writes all of bytes (blocking while the terminal's buffer is full).
    void Write(std::string_view bytes);
    // Bytes the window has sent so far (collected by the event loop).
    const std::string& Received() const { return fInput; }
    void ClearReceived() { fInput.clear(); }
    // Unplugs the device: both ends close, as when a USB adapter is pulled.
    void HangUp();
    int MasterFd() const { return fMaster; }

private:
    void ReadAvailable();

    int fMaster = -1;
    int fSlave = -1; // held open so the master side sees no hang-up between the window's opens
    std::string fPath;
    std::string fInput;
    std::unique_ptr<QSocketNotifier> fNotifier;
};
