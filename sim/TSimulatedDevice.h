#pragma once
// A boot loader on the far end of a pseudo-terminal, so that the program, its tests and its demo
// can talk to "a device" without hardware. The program opens DevicePath() like a serial port.

#include "sim/TDeviceDialogue.h"
#include "system/TFileDescriptor.h"
#include "system/TWakeUpEvent.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <termios.h>
#include <thread>
#include <type_traits>
#include <vector>

// The dialogue's answers and faults, and the line the device is served on.
struct TSimulatedDeviceOptions : TDeviceDialogueOptions
{
    int Baudrate = 115200; // line speed emulated in both directions; 0 = no line-speed emulation
    std::chrono::milliseconds ReplyDelay{0}; // time the device takes before each answer
    // Called on the device's thread after each load ended by a termination record.
    std::function<void()> OnLoadComplete;
    // Called on the device's thread once the device has hung up (fault injection).
    std::function<void()> OnHangUp;
};

class TSimulatedDevice
{
public:
    // Opens a pseudo-terminal pair and serves it from its own thread. Throws std::system_error.
    explicit TSimulatedDevice(TSimulatedDeviceOptions options = {});
    ~TSimulatedDevice(); // stops and joins
    TSimulatedDevice(const TSimulatedDevice&) = delete;
    TSimulatedDevice& operator=(const TSimulatedDevice&) = delete;

    const std::string& DevicePath() const { return fDevicePath; } // the pty slave
    TLoadedImage LoadedImage() const;                             // address -> byte
    TDeviceState State() const;
    std::size_t RecordsReceived() const;
    std::size_t BytesAfterRefusal() const; // received after the first "ERREUR" it said
    std::size_t CompletedLoads() const;
    std::size_t BytesAfterRestart() const; // received after the restart fault struck
    // Bytes the program has written that the device has not read yet (held by the terminal).
    std::size_t UnreadBytes() const;
    bool HungUp() const;
    // The line's settings as the program on the other end set them (speed, data bits, parity,
    // stop bits); nullopt once the device hung up.
    std::optional<termios> LineSettings() const;
    // Answers thrown away because the peer did not read them (see MaxQueuedReplyBytes).
    std::size_t DroppedReplyBytes() const { return fDroppedReplyBytes; }
    // Empty while the device thread runs normally; the reason when it had to give up.
    std::string ThreadError() const;

    // Answers the peer has not read yet are kept up to this amount; beyond it they are dropped,
    // so that a program that never reads cannot make the device grow without bound.
    static constexpr std::size_t MaxQueuedReplyBytes = 64 * 1024;

private:
    template <class T> std::decay_t<T> Read(T (TDeviceDialogue::*figure)() const) const;
    void Serve();
    struct TLine;
    void ServeLoop();
    // Writes the replies whose time has come; true when the rest waits for room on the line.
    bool WriteDueReplies(TLine& line, std::chrono::steady_clock::time_point now);
    // Takes what the line delivers and queues the answers; false once the device hung up.
    bool ReadAndAnswer(TLine& line, std::vector<char>& buffer);
    void OnPeerClosed();

    TSimulatedDeviceOptions fOptions;
    TFileDescriptor fMaster;
    TFileDescriptor fSlave;      // held so the master sees no hang-up while the program reconnects
    TWakeUpEvent fStop;          // ends the thread
    TFileDescriptor fCloseWatch; // inotify: the program closed the line (-1 when unavailable)
    std::string fDevicePath;

    mutable std::mutex fMutex; // guards dialogue_ and threadError_
    TDeviceDialogue fDialogue;
    std::string fThreadError;
    std::atomic<std::size_t> fDroppedReplyBytes{0};

    std::thread fThread; // last: starts after everything above exists
};
