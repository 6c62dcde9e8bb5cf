#include "flasher/PortName.h"

#include "serial/SerialPortList.h"

#include <algorithm>
#include <cctype>
#include <functional>
#include <optional>
#include <vector>

namespace {

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string Described(const std::string& path, const TUsbIdentity& id)
{
    return path + " (usb:" + id.Vendor + ":" + id.Product +
           (id.Serial.empty() ? "" : ":" + id.Serial) + ")";
}

// The USB adapters among ports, each with what its platform says of it.
TPortMatch MatchPort(const std::string& name, const std::vector<std::string>& ports,
                     const std::function<std::optional<TUsbIdentity>(const std::string&)>& identity)
{
    const bool automatic = name == "auto";

    // usb:VID:PID[:SERIAL]
    std::vector<std::string> wanted;
    for (std::size_t at = 4; !automatic && at <= name.size();) {
        const std::size_t colon = std::min(name.find(':', at), name.size());
        wanted.push_back(name.substr(at, colon - at));
        at = colon + 1;
    }
    if (!automatic && (wanted.size() < 2 || wanted.size() > 3))
        return {std::nullopt, "'" + name + "' is not usb:VID:PID or usb:VID:PID:SERIAL"};

    std::vector<std::string> matches;
    std::string candidates;
    for (const std::string& path : ports) {
        if (IsStableName(path)) continue; // the ttys themselves
        const auto id = identity(path);
        if (!id) continue;
        candidates += "\n  " + Described(path, *id);
        const bool match = automatic || (Lower(id->Vendor) == Lower(wanted[0]) &&
                                         Lower(id->Product) == Lower(wanted[1]) &&
                                         (wanted.size() < 3 || id->Serial == wanted[2]));
        if (match) matches.push_back(path);
    }
    if (matches.size() == 1) return {matches.front(), {}};
    const std::string list =
        candidates.empty() ? " (no USB serial adapter is present)" : ":" + candidates;
    if (matches.empty())
        return {std::nullopt, "no USB serial adapter matches '" + name + "'" + list};
    return {std::nullopt, "several USB serial adapters match '" + name + "'; name one" + list};
}

} // namespace

TPortMatch FindPort(const std::string& name)
{
    if (name != "auto" && name.rfind("usb:", 0) != 0) return {name, {}};
    return MatchPort(name, ListSerialPorts(),
                     [](const std::string& path) { return UsbIdentity(path); });
}

TPortMatch FindPort(const std::string& name, const std::string& devDir,
                    const std::string& sysClassTty)
{
    if (name != "auto" && name.rfind("usb:", 0) != 0) return {name, {}};
    return MatchPort(name, ListSerialPorts(devDir, sysClassTty),
                     [&](const std::string& path) { return UsbIdentity(path, sysClassTty); });
}

std::string PortSerialNumber(const std::string& path)
{
    const auto id = UsbIdentity(path);
    return id ? id->Serial : std::string();
}
