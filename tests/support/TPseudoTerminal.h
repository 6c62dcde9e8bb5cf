#pragma once
// Pseudo-terminals for tests. TPseudoTerminal is a new pair: the program under test opens
// DevicePath(), the test plays the device on the master side. TProgramEnd opens an existing
// terminal (a simulated device's) as the program would. Both wait with poll() and give up only
// after a generous hang guard.

#include "system/TFileDescriptor.h"

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

namespace pty_io {
using TClock = std::chrono::steady_clock;
// Generous: only a hang should ever reach it, even on a loaded machine.
inline constexpr std::chrono::seconds Patience{20};
// Writes everything, waiting for room as a serial driver would; false on an error or time-out.
bool WriteAll(int fd, std::string_view bytes, std::chrono::milliseconds timeout = Patience);
// Reads until `needle` has arrived, `count` bytes have, the far end hangs up or the time is up;
// returns everything read, so that a failing test shows what came.
std::string ReadUntil(int fd, std::string_view needle, std::size_t count,
                      std::chrono::milliseconds timeout = Patience);
} // namespace pty_io

class TPseudoTerminal
{
public:
    TPseudoTerminal(); // raw mode, master non-blocking; throws std::runtime_error
    const std::string& DevicePath() const { return fPath; }
    int Master() const { return fMaster.Get(); }

    // As the device; throws std::runtime_error when the bytes cannot be written.
    void Send(std::string_view bytes);
    std::string Receive(std::size_t count, std::chrono::milliseconds timeout = pty_io::Patience)
    {
        return pty_io::ReadUntil(fMaster.Get(), {}, count, timeout);
    }
    // The device goes away: the master closes (the kept slave too, with HangUp).
    void CloseMaster() { fMaster.Reset(); }
    void CloseSlave() { fSlave.Reset(); }
    void HangUp()
    {
        CloseMaster();
        CloseSlave();
    }

    // What a pseudo-terminal takes from a writer while nobody reads the other end: the bytes
    // that may still reach a device after the sender has stopped.
    static std::size_t CapacityBytes();

private:
    TFileDescriptor fMaster;
    TFileDescriptor fSlave; // kept, so the master sees no hang-up while the program reopens
    std::string fPath;
};

// The program's end of a terminal that exists already, opened raw and non-blocking.
class TProgramEnd
{
public:
    explicit TProgramEnd(const std::string& path);
    bool Valid() const { return fFd.Valid(); }
    int Fd() const { return fFd.Get(); }
    bool Write(std::string_view bytes) { return pty_io::WriteAll(fFd.Get(), bytes); }
    std::string ReadUntil(std::string_view needle)
    {
        return pty_io::ReadUntil(fFd.Get(), needle, std::string::npos);
    }
    // True once the far end has gone (hang-up or error reported on the descriptor).
    bool WaitForHangUp();

private:
    TFileDescriptor fFd;
};

// Number of descriptors this process has open.
int OpenDescriptorCount();
