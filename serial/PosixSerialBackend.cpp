#include "serial/PosixSerialBackend.h"

#include "serial/PosixSerialDevice.h"
#include "serial/SerialPortList.h"
#include "serial/TNetworkSerialDevice.h"
#include "system/TFileDescriptor.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <system_error>
#include <termios.h>

TDeviceResult<std::unique_ptr<ISerialDevice>> TPosixSerialBackend::Open(const std::string& path)
{
    if (const auto address = ParseNetworkPort(path)) return TNetworkSerialDevice::Open(*address);
    const auto fail = [](int code) { return DeviceFailed(code); };
    TFileDescriptor fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.Valid()) return fail(errno);

    termios tio{};
    if (::tcgetattr(fd.Get(), &tio) != 0) // not a terminal
        return fail(errno);

    // No sharing: a cooperative lock first (also holds against root), then the kernel's
    // exclusive mode, which some drivers do not offer.
    if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0)
        return fail(errno == EWOULDBLOCK ? EBUSY : errno);
    if (::ioctl(fd.Get(), TIOCEXCL) != 0 && errno != EINVAL && errno != ENOTTY) return fail(errno);

    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_iflag &= ~(INPCK | IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (::tcsetattr(fd.Get(), TCSANOW, &tio) != 0) {
        const int code = errno;
        ::ioctl(fd.Get(), TIOCNXCL);
        return fail(code);
    }
    return std::unique_ptr<ISerialDevice>(std::make_unique<TPosixSerialDevice>(std::move(fd)));
}

std::unique_ptr<ISerialBackend> SystemSerialBackend()
{
    return std::make_unique<TPosixSerialBackend>();
}

std::string SystemPortPath(int port)
{
    return "/dev/ttyS" + std::to_string(port - 1);
}

std::vector<std::string> ListSerialPorts()
{
    return ListSerialPorts("/dev", "/sys/class/tty");
}

std::vector<TPortListing> DescribeSerialPorts()
{
    return DescribeSerialPorts("/dev", "/sys/class/tty");
}

std::optional<TUsbIdentity> UsbIdentity(const std::string& devicePath)
{
    return UsbIdentity(devicePath, "/sys/class/tty");
}

bool SerialPortPresent(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

bool SamePortName(const std::string& a, const std::string& b)
{
    return a == b;
}
