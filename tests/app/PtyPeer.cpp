#include "tests/app/PtyPeer.h"

#include <QTimer>

#include <cerrno>
#include <unistd.h>

TPtyPeer::TPtyPeer()
{
    fNotifier = std::make_unique<QSocketNotifier>(fPty.Master(), QSocketNotifier::Read);
    QObject::connect(fNotifier.get(), &QSocketNotifier::activated, [this] { ReadAvailable(); });
}

TPtyPeer::~TPtyPeer()
{
    HangUp();
}

void TPtyPeer::ReadAvailable()
{
    char buffer[4096];
    bool any = false;
    for (;;) {
        const ssize_t n = ::read(fPty.Master(), buffer, sizeof buffer);
        if (n > 0) {
            any = true;
            fInput.append(buffer, static_cast<std::size_t>(n));
            for (ssize_t i = 0; i < n; ++i)
                fCrCount += buffer[i] == '\r';
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) {
            // EIO: nobody has the device open right now; look again a little later rather than
            // being woken for ever by the same condition.
            fNotifier->setEnabled(false);
            QTimer::singleShot(10, [this, notifier = fNotifier.get()] {
                if (fNotifier.get() == notifier) notifier->setEnabled(true);
            });
        }
        break;
    }
    if (any && fOnReceive) fOnReceive();
}

void TPtyPeer::HangUp()
{
    fNotifier.reset();
    fPty.HangUp();
}
