#include "tests/app/FlashPtyPeer.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

FlashPtyPeer::FlashPtyPeer()
{
    char name[PATH_MAX] = {};
    termios raw{};
    ::cfmakeraw(&raw);
    if (::openpty(&Master, &Slave, name, &raw, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    SlavePath = name;
    // The slave stays open here too, so the master never reports a hang-up while the
    // program has its port closed.
    ::fcntl(Master, F_SETFL, ::fcntl(Master, F_GETFL) | O_NONBLOCK);
    ::fcntl(Master, F_SETFD, FD_CLOEXEC);
    ::fcntl(Slave, F_SETFD, FD_CLOEXEC);
    Notifier = std::make_unique<QSocketNotifier>(Master, QSocketNotifier::Read);
    QObject::connect(Notifier.get(), &QSocketNotifier::activated, this,
                     [this] { ReadAvailable(); });
}

FlashPtyPeer::~FlashPtyPeer()
{
    Notifier.reset();
    ::close(Master);
    ::close(Slave);
}

void FlashPtyPeer::ReadAvailable()
{
    char buffer[4096];
    bool any = false;
    for (;;) {
        const ssize_t n = ::read(Master, buffer, sizeof buffer);
        if (n > 0) {
            any = true;
            Bytes.append(buffer, static_cast<std::size_t>(n));
            for (ssize_t i = 0; i < n; ++i)
                CrCount += buffer[i] == '\r';
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        break;
    }
    if (any && OnReceive) OnReceive();
}

void FlashPtyPeer::Send(std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(Master, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN) {
                pollfd out{Master, POLLOUT, 0};
                ::poll(&out, 1, 1000);
                continue;
            }
            throw std::runtime_error("write to pty failed");
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}
