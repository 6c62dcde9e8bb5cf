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
    if (::openpty(&fMaster, &fSlave, name, &raw, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    fSlavePath = name;
    // The slave stays open here too, so the master never reports a hang-up while the
    // program has its port closed.
    ::fcntl(fMaster, F_SETFL, ::fcntl(fMaster, F_GETFL) | O_NONBLOCK);
    ::fcntl(fMaster, F_SETFD, FD_CLOEXEC);
    ::fcntl(fSlave, F_SETFD, FD_CLOEXEC);
    fNotifier = std::make_unique<QSocketNotifier>(fMaster, QSocketNotifier::Read);
    QObject::connect(fNotifier.get(), &QSocketNotifier::activated, this,
                     [this] { ReadAvailable(); });
}

FlashPtyPeer::~FlashPtyPeer()
{
    fNotifier.reset();
    ::close(fMaster);
    ::close(fSlave);
}

void FlashPtyPeer::ReadAvailable()
{
    char buffer[4096];
    bool any = false;
    for (;;) {
        const ssize_t n = ::read(fMaster, buffer, sizeof buffer);
        if (n > 0) {
            any = true;
            fBytes.append(buffer, static_cast<std::size_t>(n));
            for (ssize_t i = 0; i < n; ++i)
                fCrCount += buffer[i] == '\r';
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        break;
    }
    if (any && fOnReceive) fOnReceive();
}

void FlashPtyPeer::Send(std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fMaster, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN) {
                pollfd out{fMaster, POLLOUT, 0};
                ::poll(&out, 1, 1000);
                continue;
            }
            throw std::runtime_error("write to pty failed");
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}
