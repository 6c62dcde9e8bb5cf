#include "sim/TSimulatedDevice.h"
#include "system/ErrnoError.h"

#include "sim/TLinePacer.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <deque>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <system_error>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

using TClock = std::chrono::steady_clock;

// While the line is busy the device wakes for this many received bytes at a time, not each one.
constexpr double ReceiveChunk = 32;
// What an idle line may bank, so that a short burst after a pause is taken at once.
constexpr double ReceiveBurst = 64;
// The sender banks a little too, so that waking late for one reply is made up by the next.
constexpr double SendBurst = 32;
constexpr std::size_t ReadBufferSize = 4096;

void SetFlag(int fd, int getCommand, int setCommand, int flag, const char* what)
{
    const int flags = ::fcntl(fd, getCommand);
    if (flags < 0 || ::fcntl(fd, setCommand, flags | flag) < 0) throw ErrnoError(what);
}

// A reply waits for its reply delay, then for the time the line needs to carry it, and is
// then written in one go, so that a word never reaches the program split by the pacing.
struct TPendingReply
{
    std::string Text;
    TClock::time_point NotBefore;
    bool Reserved = false; // line time taken from the pacer
    TClock::time_point ReleaseAt{};
    std::size_t Written = 0;
};

timespec ToTimespec(TClock::duration duration)
{
    const auto ns = std::max<int64_t>(
        0, std::chrono::duration_cast<std::chrono::nanoseconds>(duration).count());
    return timespec{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
}

} // namespace

TSimulatedDevice::TSimulatedDevice(TSimulatedDeviceOptions options)
    : fOptions(std::move(options)), fDialogue(fOptions) // its own part of the options
{
    // Both ends are made close-on-exec as they open: a process another thread starts in
    // between would otherwise keep the line open, and a hang-up would never reach the program.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0) throw ErrnoError("posix_openpt");
    fMaster.Reset(master);
    char slaveName[256];
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0) throw ErrnoError("unlockpt");
    if (const int error = ::ptsname_r(master, slaveName, sizeof slaveName); error != 0)
        throw std::system_error(error, std::generic_category(), "ptsname_r");
    const int slave = ::open(slaveName, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) throw ErrnoError("open pseudo-terminal");
    fSlave.Reset(slave);
    SetFlag(master, F_GETFL, F_SETFL, O_NONBLOCK, "fcntl");

    // Raw, so that neither end translates line ends or echoes what the program sends.
    termios settings{};
    if (::tcgetattr(slave, &settings) != 0) throw ErrnoError("tcgetattr");
    ::cfmakeraw(&settings);
    ::cfsetspeed(&settings, B115200);
    if (::tcsetattr(slave, TCSANOW, &settings) != 0) throw ErrnoError("tcsetattr");

    char name[256];
    if (const int error = ::ttyname_r(slave, name, sizeof name); error != 0)
        throw std::system_error(error, std::generic_category(), "ttyname_r");
    fDevicePath = name;

    // Best effort: without the watch only a crashed program's exclusive mode stays behind.
    fCloseWatch.Reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (fCloseWatch.Valid() && ::inotify_add_watch(fCloseWatch.Get(), fDevicePath.c_str(),
                                                   IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0)
        fCloseWatch.Reset();

    fThread = std::thread(&TSimulatedDevice::Serve, this);
}

TSimulatedDevice::~TSimulatedDevice()
{
    fStop.Raise();
    if (fThread.joinable()) fThread.join();
}

// The dialogue's figures, copied under the lock the device's thread writes them under.
template <class T>
std::decay_t<T> TSimulatedDevice::Read(T (TDeviceDialogue::*figure)() const) const
{
    std::lock_guard lock(fMutex);
    return (fDialogue.*figure)();
}

TLoadedImage TSimulatedDevice::LoadedImage() const
{
    return Read(&TDeviceDialogue::Image);
}
TDeviceState TSimulatedDevice::State() const
{
    return Read(&TDeviceDialogue::State);
}
std::size_t TSimulatedDevice::BytesAfterRefusal() const
{
    return Read(&TDeviceDialogue::BytesAfterRefusal);
}
std::size_t TSimulatedDevice::RecordsReceived() const
{
    return Read(&TDeviceDialogue::RecordsReceived);
}
std::size_t TSimulatedDevice::CompletedLoads() const
{
    return Read(&TDeviceDialogue::CompletedLoads);
}
std::size_t TSimulatedDevice::BytesAfterRestart() const
{
    return Read(&TDeviceDialogue::BytesAfterRestart);
}

std::size_t TSimulatedDevice::UnreadBytes() const
{
    int waiting = 0;
    std::lock_guard lock(fMutex); // the line is closed under it when the device hangs up
    if (!fMaster.Valid() || ::ioctl(fMaster.Get(), FIONREAD, &waiting) != 0 || waiting < 0)
        return 0;
    return static_cast<std::size_t>(waiting);
}

std::optional<termios> TSimulatedDevice::LineSettings() const
{
    termios settings{};
    std::lock_guard lock(fMutex);
    // The master reads the terminal's one set of settings, whoever holds the slave.
    if (!fMaster.Valid() || ::tcgetattr(fMaster.Get(), &settings) != 0) return std::nullopt;
    return settings;
}

bool TSimulatedDevice::HungUp() const
{
    return State() == TDeviceState::HungUp;
}

std::string TSimulatedDevice::ThreadError() const
{
    std::lock_guard lock(fMutex);
    return fThreadError;
}

void TSimulatedDevice::Serve()
{
    try {
        ServeLoop();
    } catch (const std::exception& error) {
        std::lock_guard lock(fMutex);
        fThreadError = error.what();
    }
}

void TSimulatedDevice::OnPeerClosed()
{
    alignas(inotify_event) char events[4096];
    while (::read(fCloseWatch.Get(), events, sizeof events) > 0) {
    }
    // A program that opened the line exclusively and died without undoing it would, as the
    // terminal stays open on our side, keep every later open out ("device busy").
    ::ioctl(fSlave.Get(), TIOCNXCL);
}

// The line between the program and the device: its pace in each direction and the replies
// waiting for their time.
struct TSimulatedDevice::TLine
{
    TLine(double rate, TClock::time_point now)
        : ReceivePacer(rate, ReceiveBurst, now), SendPacer(rate, SendBurst, now)
    {
    }
    TLinePacer ReceivePacer;
    TLinePacer SendPacer;
    std::deque<TPendingReply> Pending;
    std::size_t PendingBytes = 0;
    std::optional<TClock::time_point> Deadline; // the next time something falls due

    void WakeAt(TClock::time_point t) { Deadline = Deadline ? std::min(*Deadline, t) : t; }
};

void TSimulatedDevice::ServeLoop()
{
    // The pacing sleeps are short; the default timer slack would make every one of them late.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    TLine line(TLinePacer::BytesPerSecondForBaud(fOptions.Baudrate), TClock::now());
    std::vector<char> buffer(ReadBufferSize);

    for (;;) {
        const auto now = TClock::now();
        line.Deadline.reset();
        const bool waitWritable = WriteDueReplies(line, now);
        // Read only as fast as the line delivers.
        bool waitReadable = true;
        if (const auto readyAt = line.ReceivePacer.ReadyAt(ReceiveChunk, now); readyAt > now) {
            waitReadable = false;
            line.WakeAt(readyAt);
        }

        pollfd fds[3] = {
            {fStop.Descriptor(), POLLIN, 0},
            {fMaster.Get(),
             static_cast<short>((waitReadable ? POLLIN : 0) | (waitWritable ? POLLOUT : 0)), 0},
            {fCloseWatch.Get(), POLLIN, 0}}; // a negative descriptor is skipped
        timespec timeout{};
        if (line.Deadline) timeout = ToTimespec(*line.Deadline - TClock::now());
        if (::ppoll(fds, 3, line.Deadline ? &timeout : nullptr, nullptr) < 0) {
            if (errno == EINTR) continue;
            throw ErrnoError("ppoll");
        }
        if (fds[0].revents != 0) return;
        if (fds[2].revents != 0) OnPeerClosed();
        if ((fds[1].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0 &&
            (fds[1].revents & POLLIN) == 0)
            throw std::runtime_error("pseudo-terminal closed");
        if ((fds[1].revents & POLLIN) != 0 && !ReadAndAnswer(line, buffer)) return;
    }
}

bool TSimulatedDevice::WriteDueReplies(TLine& line, TClock::time_point now)
{
    while (!line.Pending.empty()) {
        TPendingReply& reply = line.Pending.front();
        if (!reply.Reserved) {
            if (now < reply.NotBefore) {
                line.WakeAt(reply.NotBefore);
                return false;
            }
            line.SendPacer.Consume(reply.Text.size(), now);
            reply.ReleaseAt = line.SendPacer.ReadyAt(0, now);
            reply.Reserved = true;
        }
        if (now < reply.ReleaseAt) {
            line.WakeAt(reply.ReleaseAt);
            return false;
        }
        const ssize_t n = ::write(fMaster.Get(), reply.Text.data() + reply.Written,
                                  reply.Text.size() - reply.Written);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN) return true; // the program is not reading; wait for room
            throw ErrnoError("write to pseudo-terminal");
        }
        reply.Written += static_cast<std::size_t>(n);
        if (reply.Written < reply.Text.size()) return true;
        line.PendingBytes -= reply.Text.size();
        line.Pending.pop_front();
    }
    return false;
}

bool TSimulatedDevice::ReadAndAnswer(TLine& line, std::vector<char>& buffer)
{
    const auto now = TClock::now();
    const std::size_t allowed = std::min(buffer.size(), line.ReceivePacer.Available(now));
    if (allowed == 0) return true;
    const ssize_t n = ::read(fMaster.Get(), buffer.data(), allowed);
    if (n < 0) {
        if (errno == EINTR || errno == EAGAIN) return true;
        throw ErrnoError("read from pseudo-terminal");
    }
    if (n == 0) return true;
    line.ReceivePacer.Consume(static_cast<std::size_t>(n), now);

    std::vector<std::string> replies;
    bool hungUp = false;
    bool loadCompleted = false;
    {
        std::lock_guard lock(fMutex);
        const std::size_t loadsBefore = fDialogue.CompletedLoads();
        fDialogue.Receive(std::string_view(buffer.data(), static_cast<std::size_t>(n)), replies);
        hungUp = fDialogue.State() == TDeviceState::HungUp;
        loadCompleted = fDialogue.CompletedLoads() != loadsBefore;
    }
    if (hungUp) {
        // Like a pulled USB adapter: the line is gone at once, with whatever was queued.
        {
            std::lock_guard lock(fMutex); // UnreadBytes looks at the line from other threads
            fMaster.Reset();
            fSlave.Reset();
        }
        if (fOptions.OnHangUp) fOptions.OnHangUp();
        return false;
    }
    for (std::string& text : replies) {
        if (line.PendingBytes + text.size() > MaxQueuedReplyBytes) {
            fDroppedReplyBytes += text.size();
            continue;
        }
        line.PendingBytes += text.size();
        line.Pending.push_back({std::move(text), now + fOptions.ReplyDelay});
    }
    if (loadCompleted && fOptions.OnLoadComplete) fOptions.OnLoadComplete();
    return true;
}
