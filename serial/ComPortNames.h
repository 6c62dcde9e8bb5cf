#pragma once
// Windows' COM ports as text: their names, their order, what an instance id says of the USB
// adapter behind one, and the line the port box shows. Rules only; the Win32 calls that gather
// the facts are in Win32PortList.cpp.

#include "serial/SerialPortList.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The number of a COM port named COM12, com12 or \\.\COM12; nullopt for any other name.
std::optional<unsigned> ComPortNumber(std::string_view name);

// Whether two names open the same COM port (COM12, \\.\com12); other names only when equal.
bool SameComPort(std::string_view a, std::string_view b);

// COM ports by number (COM2 before COM10), then any other names as text.
bool ComPortBefore(std::string_view a, std::string_view b);

// What the USB adapter behind a port is, from device instance ids: the port's own first, then
// its parent's and further up. A USB device's id (USB\VID_0403&PID_6001\A50285BI) gives its ids
// and, as its last part, the serial number, unless that part has an '&' (Windows makes such an
// id up for a device that has no serial number). An interface's id (…&MI_00\…) gives ids only.
// FTDI's own driver names the port FTDIBUS\VID_0403+PID_6001+A50285BIA\0000: the serial number
// followed by one letter for the chip's port (A, B, …); it is used only when no USB device id
// above it gives a serial number. The first USB device is the adapter: a hub above it, with a
// serial number of its own, is not. nullopt when no id is a USB or an FTDI bus id.
// Vendor and product are lower-case hex, as sysfs writes them.
std::optional<TUsbIdentity> UsbIdentityFromInstanceIds(std::span<const std::string> ids);

// What Windows knows of one COM port.
struct TComPortFacts
{
    std::string Name{};                     // COM3
    std::string FriendlyName{};             // "USB Serial Port (COM3)"
    std::string Manufacturer{};             // the driver's maker: "FTDI", "(Standard port types)"
    std::vector<std::string> InstanceIds{}; // the port's device id, then its parents'
};

// "COM3 — USB Serial Port (FTDI) A50285BI": the name, the friendly name without its "(COM3)",
// the maker unless it is a placeholder in parentheses, and a USB serial number.
std::string ComPortDescription(const TComPortFacts& port);

// Each port once (the first facts given for a name win), in ComPortBefore order, described.
std::vector<TPortListing> DescribeComPorts(std::span<const TComPortFacts> ports);
