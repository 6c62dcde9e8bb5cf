#include "serial/PosixBaudRate.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

std::optional<uint32_t> ReadTerminalBaudRate(int fd)
{
    struct termios2 tio
    {
    };
    if (::ioctl(fd, TCGETS2, &tio) != 0) return std::nullopt;
    return tio.c_ospeed;
}

bool WriteTerminalBaudRate(int fd, uint32_t baudRate)
{
    struct termios2 tio
    {
    };
    if (::ioctl(fd, TCGETS2, &tio) != 0) return false;
    tio.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    tio.c_ispeed = baudRate;
    tio.c_ospeed = baudRate;
    return ::ioctl(fd, TCSETS2, &tio) == 0;
}
