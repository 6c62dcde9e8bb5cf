#pragma once
// The ways a port may be named on tarvel-flash's command line: a device path (also a
// /dev/serial/by-id name; COM12 on Windows), usb:VID:PID[:SERIAL] matched through sysfs (Windows:
// SetupAPI) whatever ttyUSB or COM number the board got, or "auto" for the one USB serial adapter
// present.

#include <optional>
#include <string>

struct TPortMatch
{
    std::optional<std::string> Path; // the device to open
    std::string Problem;             // why there is none (no match, several candidates)
};

TPortMatch FindPort(const std::string& name);
// The same below other roots: devDir and sysClassTty stand for /dev and /sys/class/tty (tests).
TPortMatch FindPort(const std::string& name, const std::string& devDir,
                    const std::string& sysClassTty);

// The adapter's USB serial number, empty when sysfs tells none.
std::string PortSerialNumber(const std::string& path);
