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

TDeviceResult<TDeviceControlBlock> TPosixSerialDevice::GetState()
{
    termios tio{};
    if (::tcgetattr(fFd.Get(), &tio) != 0) return DeviceFailed(errno);
    TDeviceControlBlock state;
    {
        std::lock_guard lock(fStateMutex);
        state = fShadow;
    }
    if (auto rate = ReadTerminalBaudRate(fFd.Get()))
        state.BaudRate = *rate;
    else if (auto standard = StandardSpeedRate(::cfgetospeed(&tio)))
        state.BaudRate = *standard;

    DecodeLineState(tio, state);
    return state;
}

TDeviceResult<> TPosixSerialDevice::SetState(const TDeviceControlBlock& state)
{
    termios tio{};
    if (::tcgetattr(fFd.Get(), &tio) != 0) return DeviceFailed(errno);

    if (!EncodeLineState(state, tio)) return DeviceFailed(EINVAL);

    const auto standard = StandardSpeedCode(state.BaudRate);
    if (standard) ::cfsetspeed(&tio, *standard);
    if (::tcsetattr(fFd.Get(), TCSANOW, &tio) != 0) return DeviceFailed(errno);
    if (!standard && !WriteTerminalBaudRate(fFd.Get(), state.BaudRate)) return DeviceFailed(errno);

    ApplyModemLines(state.Flags);
    std::lock_guard lock(fStateMutex);
    fShadow.Flags = state.Flags;
    fShadow.XonLim = state.XonLim;
    fShadow.XoffLim = state.XoffLim;
    return {};
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

TDeviceResult<> TPosixSerialDevice::SetQueueSizes(uint32_t, uint32_t)
{
    return {}; // the kernel sizes its tty buffers itself
}

TDeviceResult<> TPosixSerialDevice::SetEventMask(uint32_t)
{
    return {}; // events are chosen by what the communication thread waits for
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
    if (n > 0) return static_cast<size_t>(n);
    if (n < 0 && IsTransient(errno)) return DeviceWouldBlock();
    return DeviceFailed(n == 0 ? EIO : errno); // 0 = end of file: the other side hung up
}

TIoResult TPosixSerialDevice::Write(std::span<const std::byte> data)
{
    if (data.empty()) return {};
    const ssize_t n = ::write(fFd.Get(), data.data(), data.size());
    if (n >= 0) return static_cast<size_t>(n);
    if (IsTransient(errno)) return DeviceWouldBlock();
    return DeviceFailed(errno);
}

TDeviceResult<uint32_t> TPosixSerialDevice::BytesWaiting()
{
    int n = 0;
    if (::ioctl(fFd.Get(), FIONREAD, &n) != 0) return DeviceFailed(errno);
    if (n < 0) return DeviceFailed(EIO);
    return static_cast<uint32_t>(n);
}

TDeviceResult<uint32_t> TPosixSerialDevice::OutputQueued()
{
    int n = 0;
    if (::ioctl(fFd.Get(), TIOCOUTQ, &n) != 0) return DeviceFailed(errno);
    if (n < 0) return DeviceFailed(EIO);
    return static_cast<uint32_t>(n);
}

TDeviceResult<bool> TPosixSerialDevice::TransmitterEmpty()
{
    unsigned int lsr = 0;
    if (::ioctl(fFd.Get(), TIOCSERGETLSR, &lsr) != 0) return DeviceFailed(errno);
    return (lsr & TIOCSER_TEMT) != 0;
}

TDeviceResult<> TPosixSerialDevice::Purge(uint32_t flags)
{
    const bool rx = flags & (PURGE_RXCLEAR | PURGE_RXABORT);
    const bool tx = flags & (PURGE_TXCLEAR | PURGE_TXABORT);
    if (!rx && !tx) return {};
    if (::tcflush(fFd.Get(), rx && tx ? TCIOFLUSH : rx ? TCIFLUSH : TCOFLUSH) != 0)
        return DeviceFailed(errno);
    return {};
}

TDeviceResult<> TPosixSerialDevice::EnterLowLatency()
{
    serial_struct info{};
    // Pseudo-terminals and many drivers do not know the request; that is fine.
    if (::ioctl(fFd.Get(), TIOCGSERIAL, &info) != 0) return DeviceUnsupported();
    if (info.flags & ASYNC_LOW_LATENCY) return {};
    const int before = info.flags;
    info.flags |= ASYNC_LOW_LATENCY;
    if (::ioctl(fFd.Get(), TIOCSSERIAL, &info) != 0) return DeviceFailed(errno);
    fSerialFlagsBefore = before;
    return {};
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

TDeviceResult<uint32_t> TPosixSerialDevice::ModemStatus()
{
    int lines = 0;
    if (::ioctl(fFd.Get(), TIOCMGET, &lines) != 0) return DeviceUnsupported();
    uint32_t status = 0;
    if (lines & TIOCM_CTS) status |= MS_CTS_ON;
    if (lines & TIOCM_DSR) status |= MS_DSR_ON;
    if (lines & TIOCM_RI) status |= MS_RING_ON;
    if (lines & TIOCM_CD) status |= MS_RLSD_ON;
    return status;
}

TDeviceResult<TLineErrorCounters> TPosixSerialDevice::ErrorCounters()
{
    serial_icounter_struct counters{};
    if (::ioctl(fFd.Get(), TIOCGICOUNT, &counters) != 0) return DeviceUnsupported();
    TLineErrorCounters result;
    result.Frame = static_cast<uint32_t>(counters.frame);
    result.Overrun = static_cast<uint32_t>(counters.overrun);
    result.Parity = static_cast<uint32_t>(counters.parity);
    result.Break = static_cast<uint32_t>(counters.brk);
    result.BufferOverrun = static_cast<uint32_t>(counters.buf_overrun);
    return result;
}

TDeviceResult<> TPosixSerialDevice::WaitModemChange(uint32_t msMask, uint32_t knownStatus)
{
    unsigned long lines = 0;
    if (msMask & MS_CTS_ON) lines |= TIOCM_CTS;
    if (msMask & MS_DSR_ON) lines |= TIOCM_DSR;
    const int signal = WakeSignal();
    {
        std::lock_guard lock(fWaitMutex);
        if (fWaitInterrupted) return DeviceFailed(EINTR);
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
        err = now.Error;
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
    if (fWaitInterrupted) return DeviceFailed(EINTR);
    if (result == 0 || err == EINTR) return {};
    return DeviceFailed(err);
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
