#include "serial/SerialPortList.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

namespace {

bool StartsWith(const std::string& s, std::string_view prefix)
{
    return s.compare(0, prefix.size(), prefix) == 0;
}

// A real port has a device behind its sysfs entry (virtual consoles and pseudo-terminals have
// none). The 8250 driver makes a ttyS node for every possible UART; only those with a port type are
// real.
std::optional<int> UartType(const fs::path& sysEntry)
{
    std::ifstream type(sysEntry / "type");
    int value = 0;
    if (!(type >> value)) return std::nullopt;
    return value;
}

bool HasUart(const fs::path& sysEntry)
{
    return UartType(sysEntry).value_or(0) != 0;
}

bool HasDevice(const fs::path& sysEntry)
{
    std::error_code ec;
    return fs::exists(sysEntry / "device", ec) && UartType(sysEntry).value_or(1) != 0;
}

std::string FirstLine(const fs::path& file)
{
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

} // namespace

std::vector<std::string> ListSerialPorts(const std::string& devDir, const std::string& sysClassTty)
{
    std::vector<std::string> result;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(devDir, ec)) {
        const std::string name = entry.path().filename().string();
        const fs::path sysEntry = fs::path(sysClassTty) / name;
        if (StartsWith(name, "ttyUSB") || StartsWith(name, "ttyACM") ||
            (StartsWith(name, "ttyS") && HasUart(sysEntry)) ||
            (StartsWith(name, "tty") && HasDevice(sysEntry)))
            result.push_back(entry.path().string());
    }
    for (const auto& entry : fs::directory_iterator(fs::path(devDir) / "serial" / "by-id", ec))
        result.push_back(entry.path().string());
    std::sort(result.begin(), result.end());
    return result;
}

bool IsStableName(const std::string& path)
{
    return path.find("/serial/by-id/") != std::string::npos;
}

std::vector<TPortListing> DescribeSerialPorts(const std::string& devDir,
                                              const std::string& sysClassTty)
{
    const std::vector<std::string> paths = ListSerialPorts(devDir, sysClassTty);
    // Each tty once, under its by-id name when one points to it.
    std::vector<TPortListing> result;
    std::vector<std::string> named;
    std::error_code ec;
    for (const std::string& path : paths) {
        if (!IsStableName(path)) continue;
        const fs::path tty = fs::canonical(path, ec);
        if (ec) continue;
        named.push_back(tty.string());
        result.push_back({path, tty.filename().string()});
    }
    for (const std::string& path : paths) {
        if (IsStableName(path)) continue;
        const std::string tty = fs::canonical(path, ec).string();
        if (std::find(named.begin(), named.end(), ec ? path : tty) != named.end()) continue;
        result.push_back({path, fs::path(path).filename().string()});
    }
    for (TPortListing& port : result) {
        const auto usb = UsbIdentity(port.Path, sysClassTty);
        if (!usb) continue;
        std::string text =
            usb->ProductName.empty() ? "usb " + usb->Vendor + ":" + usb->Product : usb->ProductName;
        if (!usb->Manufacturer.empty()) text += " (" + usb->Manufacturer + ")";
        if (!usb->Serial.empty()) text += " " + usb->Serial;
        port.Description += " \u2014 " + text;
    }
    std::sort(result.begin(), result.end(),
              [](const TPortListing& a, const TPortListing& b) { return a.Path < b.Path; });
    return result;
}

std::optional<TUsbIdentity> UsbIdentity(const std::string& devicePath,
                                        const std::string& sysClassTty)
{
    std::error_code ec;
    const fs::path device = fs::canonical(devicePath, ec); // by-id names are links to the tty
    const fs::path tty = fs::path(sysClassTty) / (ec ? fs::path(devicePath) : device).filename();
    // Up from the tty's device to the USB device, the first folder with vendor and product ids.
    for (fs::path at = fs::canonical(tty / "device", ec); !ec && at.has_relative_path();
         at = at.parent_path()) {
        std::ifstream vendor(at / "idVendor");
        std::ifstream product(at / "idProduct");
        TUsbIdentity identity;
        if (!(vendor >> identity.Vendor) || !(product >> identity.Product)) continue;
        identity.Serial = FirstLine(at / "serial");
        identity.Manufacturer = FirstLine(at / "manufacturer");
        identity.ProductName = FirstLine(at / "product");
        return identity;
    }
    return std::nullopt;
}
