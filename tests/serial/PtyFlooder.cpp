#include "tests/serial/PtyFlooder.h"

#include <poll.h>
#include <stdexcept>
#include <unistd.h>

TPtyFlooder::TPtyFlooder(int master)
{
    fThread = std::thread([this, master] { Run(master); });
}

TPtyFlooder::~TPtyFlooder()
{
    Stop();
}

void TPtyFlooder::Stop()
{
    fStop.Raise();
    if (fThread.joinable()) fThread.join();
}

void TPtyFlooder::Run(int master)
{
    char block[4096];
    size_t offset = 0; // of block[0] in the stream
    size_t filled = 0; // bytes of block not yet written
    size_t start = 0;
    for (;;) {
        if (filled == 0) {
            offset = fSent.load();
            for (size_t i = 0; i < sizeof block; ++i)
                block[i] = PatternByte(offset + i);
            filled = sizeof block;
            start = 0;
        }
        pollfd fds[2] = {{fStop.Descriptor(), POLLIN, 0}, {master, POLLOUT, 0}};
        if (::poll(fds, 2, -1) < 0) continue;
        if (fds[0].revents) return;
        if (fds[1].revents & (POLLERR | POLLHUP | POLLNVAL)) return;
        const ssize_t n = ::write(master, block + start, filled);
        if (n > 0) {
            start += static_cast<size_t>(n);
            filled -= static_cast<size_t>(n);
            fSent.fetch_add(static_cast<size_t>(n));
        }
    }
}
