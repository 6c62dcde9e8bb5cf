#pragma once

#include <optional>
#include <string>
#include <vector>

// Serial devices present on this machine. Linux: ttyS ports with a real UART behind them, USB
// adapters (ttyUSB*, ttyACM*) and their stable /dev/serial/by-id names; Windows: the COM ports.
// Sorted. Defined by the platform's backend.
std::vector<std::string> ListSerialPorts();

// The same search below other roots, for tests: devDir stands for /dev and sysClassTty for
// /sys/class/tty. ttyS entries count when their "type" attribute is nonzero.
std::vector<std::string> ListSerialPorts(const std::string& devDir, const std::string& sysClassTty);

// What sysfs says of the USB device behind a tty (/dev/ttyUSB0, a by-id name, ...): vendor and
// product ids as four hex digits, and the serial number where it has one. nullopt when the tty
// is not on USB. sysClassTty stands for /sys/class/tty (tests).
struct TUsbIdentity
{
    std::string Vendor;
    std::string Product;
    std::string Serial;
};
std::optional<TUsbIdentity> UsbIdentity(const std::string& devicePath,
                                        const std::string& sysClassTty = "/sys/class/tty");
