#include "serial/PosixSerialDevice.h"
#include "system/ErrnoError.h"

#include "serial/PosixBaudRate.h"
#include "serial/PosixTermiosLineState.h"
#include "serial/SerialConstants.h"
#include "system/TWakeUpEvent.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <linux/serial.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <system_error>
#include <termios.h>
#include <utility>

namespace {

// Its only job is to make a blocking ioctl return EINTR.
void WakeSignalHandler(int) {}

int WakeSignal()
{
    static const int signal = [] {
        const int sig = SIGRTMIN + 2;
        struct sigaction action
        {
        };
        action.sa_handler = WakeSignalHandler;
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0; // no SA_RESTART: the wait must end
        ::sigaction(sig, &action, nullptr);
        return sig;
    }();
    return signal;
}

// A pseudo-terminal takes about this much at once, counting none of it as queued.
constexpr uint32_t PseudoTerminalHeldBytes = 32 * 1024;
// Unix 98 pseudo-terminal slaves (Linux's devices.txt).
constexpr unsigned FirstPtySlaveMajor = 136;
constexpr unsigned LastPtySlaveMajor = 143;

uint32_t UncountedOutput(int fd)
{
    struct stat info
    {
    };
    if (::fstat(fd, &info) == 0 && S_ISCHR(info.st_mode) &&
        major(info.st_rdev) >= FirstPtySlaveMajor && major(info.st_rdev) <= LastPtySlaveMajor)
        return PseudoTerminalHeldBytes;
    return AdapterFifoBytes;
}

bool IsTransient(int err)
{
    return err == EAGAIN || err == EWOULDBLOCK || err == EINTR;
}

} // namespace

TPosixSerialDevice::TPosixSerialDevice(TFileDescriptor fd)
    : fFd(std::move(fd)), fUncountedOutput(UncountedOutput(fFd.Get()))
{
    // Start from what the terminal has now, so GetState before any SetState is meaningful.
    termios tio{};
    if (::tcgetattr(fFd.Get(), &tio) == 0) {
        fShadow.Flags = DCB_fBinary;
        if (tio.c_cflag & CRTSCTS) fShadow.Flags |= DCB_fOutxCtsFlow | DCB_RtsControlHandshake;
        if (tio.c_iflag & IXON) fShadow.Flags |= DCB_fOutX;
        if (tio.c_iflag & IXOFF) fShadow.Flags |= DCB_fInX;
    }
}

TPosixSerialDevice::~TPosixSerialDevice()
{
    InterruptModemWait();
    ::ioctl(fFd.Get(), TIOCNXCL);
}

bool TPosixSerialDevice::GetState(TDeviceControlBlock& state)
{
    termios tio{};
    if (::tcgetattr(fFd.Get(), &tio) != 0) return false;
    {
        std::lock_guard lock(fStateMutex);
        state = fShadow;
    }
    if (auto rate = ReadTerminalBaudRate(fFd.Get()))
        state.BaudRate = *rate;
    else if (auto standard = StandardSpeedRate(::cfgetospeed(&tio)))
        state.BaudRate = *standard;

    DecodeLineState(tio, state);
    return true;
}

bool TPosixSerialDevice::SetState(const TDeviceControlBlock& state)
{
    termios tio{};
    if (::tcgetattr(fFd.Get(), &tio) != 0) return false;

    if (!EncodeLineState(state, tio)) return false;

    const auto standard = StandardSpeedCode(state.BaudRate);
    if (standard) ::cfsetspeed(&tio, *standard);
    if (::tcsetattr(fFd.Get(), TCSANOW, &tio) != 0) return false;
    if (!standard && !WriteTerminalBaudRate(fFd.Get(), state.BaudRate)) return false;

    ApplyModemLines(state.Flags);
    std::lock_guard lock(fStateMutex);
    fShadow.Flags = state.Flags;
    fShadow.XonLim = state.XonLim;
    fShadow.XoffLim = state.XoffLim;
    return true;
}

void TPosixSerialDevice::ApplyModemLines(uint32_t flags)
{
    // Pseudo-terminals have no modem lines; the failure is of no consequence.
    const auto set = [this](bool on, int line) {
        ::ioctl(fFd.Get(), on ? TIOCMBIS : TIOCMBIC, &line);
    };
    switch (flags & DCB_DtrControlMask) {
    case 0:
        set(false, TIOCM_DTR);
        break;
    case DCB_DtrControlEnable:
    case DCB_DtrControlHandshake:
        set(true, TIOCM_DTR);
        break;
    default:
        break;
    }
    switch (flags & DCB_RtsControlMask) {
    case 0:
    case DCB_RtsControlToggle:
        set(false, TIOCM_RTS);
        break;
    case DCB_RtsControlEnable:
        set(true, TIOCM_RTS);
        break;
    default:
        break; // handshake: the driver drives RTS
    }
}

bool TPosixSerialDevice::SetQueueSizes(uint32_t, uint32_t)
{
    return true; // the kernel sizes its tty buffers itself
}

bool TPosixSerialDevice::SetEventMask(uint32_t)
{
    return true; // events are chosen by what the communication thread waits for
}

TPortWait TPosixSerialDevice::Wait(const TWakeUpEvent& wake, bool wantWrite, int timeoutMs)
{
    pollfd fds[2] = {{wake.Descriptor(), POLLIN, 0},
                     {fFd.Get(), static_cast<short>(POLLIN | (wantWrite ? POLLOUT : 0)), 0}};
    const int ready = ::poll(fds, 2, timeoutMs);
    if (ready < 0 && errno != EINTR && errno != EAGAIN) throw ErrnoError("poll");
    if (ready <= 0) return {};
    const short seen = fds[1].revents;
    return {.Woken = (fds[0].revents & POLLIN) != 0,
            .Readable = (seen & POLLIN) != 0,
            .Writable = (seen & POLLOUT) != 0,
            .Lost = (seen & (POLLHUP | POLLERR | POLLNVAL)) != 0};
}

TIoResult TPosixSerialDevice::Read(std::span<std::byte> buffer)
{
    if (buffer.empty()) return {};
    const ssize_t n = ::read(fFd.Get(), buffer.data(), buffer.size());
    if (n > 0) return {static_cast<size_t>(n), TIoStatus::Ok};
    if (n < 0 && IsTransient(errno)) return {0, TIoStatus::WouldBlock};
    return {0, TIoStatus::Lost}; // 0 = end of file: the other side hung up
}

TIoResult TPosixSerialDevice::Write(std::span<const std::byte> data)
{
    if (data.empty()) return {};
    const ssize_t n = ::write(fFd.Get(), data.data(), data.size());
    if (n >= 0) return {static_cast<size_t>(n), TIoStatus::Ok};
    if (IsTransient(errno)) return {0, TIoStatus::WouldBlock};
    return {0, TIoStatus::Lost};
}

std::optional<uint32_t> TPosixSerialDevice::BytesWaiting()
{
    int n = 0;
    if (::ioctl(fFd.Get(), FIONREAD, &n) != 0 || n < 0) return std::nullopt;
    return static_cast<uint32_t>(n);
}

std::optional<uint32_t> TPosixSerialDevice::OutputQueued()
{
    int n = 0;
    if (::ioctl(fFd.Get(), TIOCOUTQ, &n) != 0 || n < 0) return std::nullopt;
    return static_cast<uint32_t>(n);
}

std::optional<bool> TPosixSerialDevice::TransmitterEmpty()
{
    unsigned int lsr = 0;
    if (::ioctl(fFd.Get(), TIOCSERGETLSR, &lsr) != 0) return std::nullopt;
    return (lsr & TIOCSER_TEMT) != 0;
}

bool TPosixSerialDevice::Purge(uint32_t flags)
{
    const bool rx = flags & (PURGE_RXCLEAR | PURGE_RXABORT);
    const bool tx = flags & (PURGE_TXCLEAR | PURGE_TXABORT);
    if (rx && tx) return ::tcflush(fFd.Get(), TCIOFLUSH) == 0;
    if (rx) return ::tcflush(fFd.Get(), TCIFLUSH) == 0;
    if (tx) return ::tcflush(fFd.Get(), TCOFLUSH) == 0;
    return true;
}

bool TPosixSerialDevice::EnterLowLatency()
{
    serial_struct info{};
    // Pseudo-terminals and many drivers do not know the request; that is fine.
    if (::ioctl(fFd.Get(), TIOCGSERIAL, &info) != 0) return false;
    if (info.flags & ASYNC_LOW_LATENCY) return true;
    const int before = info.flags;
    info.flags |= ASYNC_LOW_LATENCY;
    if (::ioctl(fFd.Get(), TIOCSSERIAL, &info) != 0) return false;
    fSerialFlagsBefore = before;
    return true;
}

void TPosixSerialDevice::LeaveLowLatency()
{
    if (!fSerialFlagsBefore) return;
    serial_struct info{};
    if (::ioctl(fFd.Get(), TIOCGSERIAL, &info) == 0) {
        info.flags = *fSerialFlagsBefore;
        ::ioctl(fFd.Get(), TIOCSSERIAL, &info); // a device already gone keeps nothing anyway
    }
    fSerialFlagsBefore.reset();
}

std::optional<uint32_t> TPosixSerialDevice::ModemStatus()
{
    int lines = 0;
    if (::ioctl(fFd.Get(), TIOCMGET, &lines) != 0) return std::nullopt;
    uint32_t status = 0;
    if (lines & TIOCM_CTS) status |= MS_CTS_ON;
    if (lines & TIOCM_DSR) status |= MS_DSR_ON;
    if (lines & TIOCM_RI) status |= MS_RING_ON;
    if (lines & TIOCM_CD) status |= MS_RLSD_ON;
    return status;
}

std::optional<TLineErrorCounters> TPosixSerialDevice::ErrorCounters()
{
    serial_icounter_struct counters{};
    if (::ioctl(fFd.Get(), TIOCGICOUNT, &counters) != 0) return std::nullopt;
    TLineErrorCounters result;
    result.Frame = static_cast<uint32_t>(counters.frame);
    result.Overrun = static_cast<uint32_t>(counters.overrun);
    result.Parity = static_cast<uint32_t>(counters.parity);
    result.Break = static_cast<uint32_t>(counters.brk);
    result.BufferOverrun = static_cast<uint32_t>(counters.buf_overrun);
    return result;
}

bool TPosixSerialDevice::WaitModemChange(uint32_t msMask, uint32_t knownStatus)
{
    unsigned long lines = 0;
    if (msMask & MS_CTS_ON) lines |= TIOCM_CTS;
    if (msMask & MS_DSR_ON) lines |= TIOCM_DSR;
    const int signal = WakeSignal();
    {
        std::lock_guard lock(fWaitMutex);
        if (fWaitInterrupted) return false;
        fWaiter = ::pthread_self();
    }
    // The kernel's wait sees only changes after it starts: a change since `knownStatus` was
    // read ends the wait at once. (A change in the few instructions before the ioctl enters
    // the kernel is the one case left to the next change.)
    int result = 0;
    int err = 0;
    const auto now = ModemStatus();
    if (!now) {
        result = -1;
        err = EIO;
    } else if (((*now ^ knownStatus) & msMask) == 0) {
        // The wake-up must reach this thread even if it inherited a mask that blocks it.
        sigset_t wake;
        sigemptyset(&wake);
        sigaddset(&wake, signal);
        ::pthread_sigmask(SIG_UNBLOCK, &wake, nullptr);
        result = ::ioctl(fFd.Get(), TIOCMIWAIT, lines); // mask by value
        err = errno;
    }
    std::lock_guard lock(fWaitMutex);
    fWaiter.reset();
    fWaitEnded.notify_all();
    if (fWaitInterrupted) return false;
    return result == 0 || err == EINTR;
}

void TPosixSerialDevice::InterruptModemWait()
{
    std::unique_lock lock(fWaitMutex);
    fWaitInterrupted = true;
    // The signal may land just before the waiter enters the kernel; repeat until it is out.
    while (fWaiter) {
        ::pthread_kill(*fWaiter, WakeSignal());
        fWaitEnded.wait_for(lock, std::chrono::milliseconds(20));
    }
}
