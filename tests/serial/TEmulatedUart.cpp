#include "tests/serial/TEmulatedUart.h"

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

std::atomic<TEmulatedUart*> Registered{nullptr};

constexpr int DeviceLines = TIOCM_CTS | TIOCM_DSR | TIOCM_RI | TIOCM_CD;
constexpr int ProgramLines = TIOCM_DTR | TIOCM_RTS;

} // namespace

// Comes before the C library's for every call in this program (the C library's own calls
// inside tcgetattr and the like do not come here).
extern "C" int ioctl(int fd, unsigned long request, ...) noexcept
{
    va_list arguments;
    va_start(arguments, request);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);
    int result = 0;
    if (TEmulatedUart::Answer(fd, request, argument, result)) return result;
    using TKernelIoctl = int (*)(int, unsigned long, ...);
    static const auto kernel = reinterpret_cast<TKernelIoctl>(::dlsym(RTLD_NEXT, "ioctl"));
    return kernel(fd, request, argument);
}

TEmulatedUart::TEmulatedUart(int fd) : fFd(fd)
{
    if (::pipe2(fWakeUp, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error("pipe2");
    TEmulatedUart* none = nullptr;
    if (!Registered.compare_exchange_strong(none, this))
        throw std::logic_error("one emulated UART at a time");
}

TEmulatedUart::~TEmulatedUart()
{
    Registered.store(nullptr);
    ::close(fWakeUp[0]);
    ::close(fWakeUp[1]);
}

void TEmulatedUart::SetInputLines(int lines)
{
    {
        std::lock_guard lock(fMutex);
        fInputLines = lines & DeviceLines;
    }
    const char changed = 1;
    (void)!::write(fWakeUp[1], &changed, 1);
}

int TEmulatedUart::OutputLines() const
{
    std::lock_guard lock(fMutex);
    return fOutputLines;
}

void TEmulatedUart::SetOutputLines(int lines)
{
    std::lock_guard lock(fMutex);
    fOutputLines = lines & ProgramLines;
}

void TEmulatedUart::SetTransmitterEmpty(bool empty)
{
    std::lock_guard lock(fMutex);
    fTransmitterEmpty = empty;
}

void TEmulatedUart::SetSerialFlags(int flags)
{
    std::lock_guard lock(fMutex);
    fSerialFlags = flags;
}

int TEmulatedUart::SerialFlags() const
{
    std::lock_guard lock(fMutex);
    return fSerialFlags;
}

void TEmulatedUart::SetCounters(const serial_icounter_struct& counters)
{
    std::lock_guard lock(fMutex);
    fCounters = counters;
}

int TEmulatedUart::Requests(unsigned long request) const
{
    std::lock_guard lock(fMutex);
    const auto found = fRequests.find(request);
    return found == fRequests.end() ? 0 : found->second;
}

bool TEmulatedUart::Waiting() const
{
    std::lock_guard lock(fMutex);
    return fWaiting;
}

bool TEmulatedUart::Answer(int fd, unsigned long request, void* argument, int& result)
{
    TEmulatedUart* uart = Registered.load();
    if (uart == nullptr || fd != uart->fFd) return false;
    {
        std::lock_guard lock(uart->fMutex);
        ++uart->fRequests[request];
    }
    switch (request) {
    case TIOCMGET:
    case TIOCMBIS:
    case TIOCMBIC:
    case TIOCMIWAIT:
    case TIOCSERGETLSR:
    case TIOCGSERIAL:
    case TIOCSSERIAL:
    case TIOCGICOUNT:
        result = uart->Serve(request, argument);
        return true;
    default:
        return false;
    }
}

int TEmulatedUart::Serve(unsigned long request, void* argument)
{
    if (request == TIOCMIWAIT)
        return WaitForChange(static_cast<int>(reinterpret_cast<std::uintptr_t>(argument)));
    std::lock_guard lock(fMutex);
    switch (request) {
    case TIOCMGET:
        *static_cast<int*>(argument) = fInputLines | fOutputLines;
        break;
    case TIOCMBIS:
        fOutputLines |= *static_cast<int*>(argument) & ProgramLines;
        break;
    case TIOCMBIC:
        fOutputLines &= ~*static_cast<int*>(argument);
        break;
    case TIOCSERGETLSR:
        *static_cast<unsigned*>(argument) = fTransmitterEmpty ? TIOCSER_TEMT : 0;
        break;
    case TIOCGSERIAL:
        *static_cast<serial_struct*>(argument) = serial_struct{};
        static_cast<serial_struct*>(argument)->flags = fSerialFlags;
        break;
    case TIOCSSERIAL:
        fSerialFlags = static_cast<serial_struct*>(argument)->flags;
        break;
    case TIOCGICOUNT:
        *static_cast<serial_icounter_struct*>(argument) = fCounters;
        break;
    }
    return 0;
}

// As the driver's wait: a change of a watched line after it began ends it, and so does a
// signal (EINTR).
int TEmulatedUart::WaitForChange(int mask)
{
    std::unique_lock lock(fMutex);
    const int before = fInputLines;
    fWaiting = true;
    while (((fInputLines ^ before) & mask) == 0) {
        lock.unlock();
        pollfd wake{fWakeUp[0], POLLIN, 0};
        const int ready = ::poll(&wake, 1, -1);
        const int error = errno;
        char drained[16];
        while (::read(fWakeUp[0], drained, sizeof drained) > 0) {
        }
        lock.lock();
        if (ready < 0 && error == EINTR) {
            fWaiting = false;
            errno = EINTR;
            return -1;
        }
    }
    fWaiting = false;
    return 0;
}
