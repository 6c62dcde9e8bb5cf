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
    if (openpty(&Master, &Slave, name, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    Path = name;
    termios raw{};
    tcgetattr(Slave, &raw);
    cfmakeraw(&raw);
    tcsetattr(Slave, TCSANOW, &raw);
    fcntl(Master, F_SETFL, fcntl(Master, F_GETFL) | O_NONBLOCK);
    Notifier = std::make_unique<QSocketNotifier>(Master, QSocketNotifier::Read);
    QObject::connect(Notifier.get(), &QSocketNotifier::activated, [this] { ReadAvailable(); });
}

TPtyPeer::~TPtyPeer()
{
    HangUp();
}

void TPtyPeer::ReadAvailable()
{
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(Master, buffer, sizeof buffer);
        if (n > 0) {
            Input.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) return;
        // EIO: nobody has the device open right now; wait for the next open.
        Notifier->setEnabled(false);
        QTimer::singleShot(10, [this, notifier = Notifier.get()] {
            if (Notifier.get() == notifier) notifier->setEnabled(true);
        });
        return;
    }
}

void TPtyPeer::Write(std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(Master, bytes.data(), bytes.size());
        if (n > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) {
            pollfd out{Master, POLLOUT, 0};
            ::poll(&out, 1, 1000);
            continue;
        }
        throw std::runtime_error("write to the pseudo-terminal failed");
    }
}

void TPtyPeer::HangUp()
{
    Notifier.reset();
    if (Master >= 0) ::close(Master);
    if (Slave >= 0) ::close(Slave);
    Master = Slave = -1;
}
