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

// A ttyS node exists for every possible UART; only those with a port type are real.
bool HasUart(const fs::path& sysEntry)
{
    std::ifstream type(sysEntry / "type");
    int value = 0;
    return static_cast<bool>(type >> value) && value != 0;
}

} // namespace

std::vector<std::string> ListSerialPorts(const std::string& devDir, const std::string& sysClassTty)
{
    std::vector<std::string> result;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(devDir, ec)) {
        const std::string name = entry.path().filename().string();
        if (StartsWith(name, "ttyUSB") || StartsWith(name, "ttyACM")) {
            result.push_back(entry.path().string());
        } else if (StartsWith(name, "ttyS") && name.size() > 4 &&
                   HasUart(fs::path(sysClassTty) / name)) {
            result.push_back(entry.path().string());
        }
    }
    for (const auto& entry : fs::directory_iterator(fs::path(devDir) / "serial" / "by-id", ec))
        result.push_back(entry.path().string());
    std::sort(result.begin(), result.end());
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
        std::ifstream serial(at / "serial");
        std::getline(serial, identity.Serial);
        return identity;
    }
    return std::nullopt;
}
