#pragma once
// A UART driver's answers for one pseudo-terminal descriptor, so that the POSIX backend's paths
// for real hardware run in tests: the modem lines (TIOCMGET, TIOCMBIS, TIOCMBIC, TIOCMIWAIT),
// the line status register (TIOCSERGETLSR), the driver's flags (TIOCGSERIAL, TIOCSSERIAL) and
// the error counters (TIOCGICOUNT). This test program's ioctl() answers those requests for the
// registered descriptor and passes everything else to the kernel.

#include <linux/serial.h>

#include <map>
#include <mutex>

class TEmulatedUart
{
public:
    explicit TEmulatedUart(int fd); // one at a time
    ~TEmulatedUart();
    TEmulatedUart(const TEmulatedUart&) = delete;
    TEmulatedUart& operator=(const TEmulatedUart&) = delete;

    // The lines the device drives (TIOCM_CTS, _DSR, _RI, _CD); a change ends a TIOCMIWAIT
    // waiting for it.
    void SetInputLines(int lines);
    // The lines the program drives (TIOCM_DTR, _RTS), as last set.
    int OutputLines() const;
    void SetOutputLines(int lines);
    void SetTransmitterEmpty(bool empty);
    void SetSerialFlags(int flags);
    int SerialFlags() const;
    void SetCounters(const serial_icounter_struct& counters);
    // How often the program made this request.
    int Requests(unsigned long request) const;
    // Whether a TIOCMIWAIT is in progress.
    bool Waiting() const;

    // For ioctl(): the answer for a registered descriptor's request, or false to pass it on.
    static bool Answer(int fd, unsigned long request, void* argument, int& result);

private:
    int Serve(unsigned long request, void* argument);
    int WaitForChange(int mask);

    const int fFd;
    mutable std::mutex fMutex;
    int fInputLines = 0;
    int fOutputLines = 0;
    bool fTransmitterEmpty = true;
    int fSerialFlags = 0;
    serial_icounter_struct fCounters{};
    std::map<unsigned long, int> fRequests;
    bool fWaiting = false;
    int fWakeUp[2] = {-1, -1}; // a pipe: a line change ends the waiter's poll()
};
