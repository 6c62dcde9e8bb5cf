#include "tests/app/PtyPeer.h"

#include <QCoreApplication>
#include <QTimer>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

TPtyPeer::TPtyPeer()
{
    char name[128] = {};
    if (openpty(&fMaster, &fSlave, name, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    fPath = name;
    termios raw{};
    tcgetattr(fSlave, &raw);
    cfmakeraw(&raw);
    tcsetattr(fSlave, TCSANOW, &raw);
    fcntl(fMaster, F_SETFL, fcntl(fMaster, F_GETFL) | O_NONBLOCK);
    fNotifier = std::make_unique<QSocketNotifier>(fMaster, QSocketNotifier::Read);
    QObject::connect(fNotifier.get(), &QSocketNotifier::activated, [this] { ReadAvailable(); });
}

TPtyPeer::~TPtyPeer()
{
    HangUp();
}

void TPtyPeer::ReadAvailable()
{
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fMaster, buffer, sizeof buffer);
        if (n > 0) {
            fInput.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) return;
        // EIO: nobody has the device open right now; wait for the next open.
        fNotifier->setEnabled(false);
        QTimer::singleShot(10, [this, notifier = fNotifier.get()] {
            if (fNotifier.get() == notifier) notifier->setEnabled(true);
        });
        return;
    }
}

void TPtyPeer::Write(std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fMaster, bytes.data(), bytes.size());
        if (n > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) {
            pollfd out{fMaster, POLLOUT, 0};
            ::poll(&out, 1, 1000);
            continue;
        }
        throw std::runtime_error("write to the pseudo-terminal failed");
    }
}

void TPtyPeer::HangUp()
{
    fNotifier.reset();
    if (fMaster >= 0) ::close(fMaster);
    if (fSlave >= 0) ::close(fSlave);
    fMaster = fSlave = -1;
}
