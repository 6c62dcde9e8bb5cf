#pragma once

#include <optional>
#include <string>
#include <vector>

// Serial devices present on this machine. Linux: every tty that sysfs shows a real device behind
// (USB adapters, on-board UARTs such as ttyAMA or ttymxc, ttyS ports whose UART type is not 0)
// and the stable /dev/serial/by-id names; Windows: the COM ports SetupAPI knows and those only
// the DOS device names tell (Wine's links, some virtual port drivers), COM2 before COM10.
// Sorted. This and the other functions without a root are defined by the platform's backend.
std::vector<std::string> ListSerialPorts();

// Whether the port named is there now: a device node on Linux; on Windows a COM name (COM12,
// \\.\COM12) the system has registered.
bool SerialPortPresent(const std::string& path);

// Whether two names open the same port: equal paths on Linux; on Windows also COM12, com12 and
// \\.\COM12.
bool SamePortName(const std::string& a, const std::string& b);

// The same search below other roots, for tests: devDir stands for /dev and sysClassTty for
// /sys/class/tty.
std::vector<std::string> ListSerialPorts(const std::string& devDir, const std::string& sysClassTty);

// Whether path is a /dev/serial/by-id name (a link to a tty that stays with the adapter).
bool IsStableName(const std::string& path);

// One port as a person chooses it: by its stable by-id name when it has one, with what sysfs says
// of it ("ttyUSB0 — FT232R USB UART (FTDI) A50285BI"), so that two like adapters differ.
struct TPortListing
{
    std::string Path;
    std::string Description;
};
// Windows: "COM3 — USB Serial Port (FTDI) A50285BI", from the driver's friendly name and maker
// and the adapter's serial number (serial/ComPortNames.h).
std::vector<TPortListing> DescribeSerialPorts();
std::vector<TPortListing> DescribeSerialPorts(const std::string& devDir,
                                              const std::string& sysClassTty);

// What sysfs says of the USB device behind a tty (/dev/ttyUSB0, a by-id name, ...): vendor and
// product ids as four hex digits, and the serial number where it has one. nullopt when the tty
// is not on USB. sysClassTty stands for /sys/class/tty (tests). On Windows (COM3), from the
// device instance ids of the port and its parents; the device's own strings are not in them, so
// Manufacturer and ProductName stay empty there, and the serial number is in capitals.
struct TUsbIdentity
{
    std::string Vendor{};
    std::string Product{};
    std::string Serial{};
    std::string Manufacturer{}; // the device's own strings, where it has them
    std::string ProductName{};
};
std::optional<TUsbIdentity> UsbIdentity(const std::string& devicePath);
std::optional<TUsbIdentity> UsbIdentity(const std::string& devicePath,
                                        const std::string& sysClassTty);
