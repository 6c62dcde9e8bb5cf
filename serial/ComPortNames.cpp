#include "serial/ComPortNames.h"

#include <algorithm>
#include <cctype>
#include <tuple>

namespace {

char Upper(char c)
{
    return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

char Lower(char c)
{
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(),
                      [](char a, char b) { return Upper(a) == Upper(b); });
}

std::string LowerText(std::string_view text)
{
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(), Lower);
    return result;
}

std::vector<std::string_view> Split(std::string_view text, char separator)
{
    std::vector<std::string_view> parts;
    for (std::size_t at = 0;;) {
        const std::size_t end = text.find(separator, at);
        parts.push_back(text.substr(at, end == std::string_view::npos ? end : end - at));
        if (end == std::string_view::npos) return parts;
        at = end + 1;
    }
}

bool IsHex4(std::string_view text)
{
    return text.size() == 4 && std::all_of(text.begin(), text.end(), [](char c) {
               return std::isxdigit(static_cast<unsigned char>(c)) != 0;
           });
}

// VID_0403 / PID_6001 among the parts of a hardware id.
struct TUsbIds
{
    std::string Vendor, Product;
    bool Interface = false; // MI_nn: one function of a composite device
};

std::optional<TUsbIds> ParseUsbIds(std::span<const std::string_view> parts)
{
    TUsbIds ids;
    for (const std::string_view part : parts) {
        if (StartsWithNoCase(part, "VID_") && IsHex4(part.substr(4)))
            ids.Vendor = LowerText(part.substr(4));
        else if (StartsWithNoCase(part, "PID_") && IsHex4(part.substr(4)))
            ids.Product = LowerText(part.substr(4));
        else if (StartsWithNoCase(part, "MI_"))
            ids.Interface = true;
    }
    if (ids.Vendor.empty() || ids.Product.empty()) return std::nullopt;
    return ids;
}

// An instance id read as a USB device's or one of its interfaces': ids and serial number.
struct TUsbInstance
{
    TUsbIdentity Identity;
    bool Interface = false;
};

std::optional<TUsbInstance> FromUsbId(std::string_view id)
{
    const auto parts = Split(id, '\\');
    if (parts.size() != 3 || parts[0].size() != 3 || !StartsWithNoCase(parts[0], "USB"))
        return std::nullopt;
    const auto ids = ParseUsbIds(Split(parts[1], '&'));
    if (!ids) return std::nullopt;
    TUsbInstance instance{.Identity = {.Vendor = ids->Vendor, .Product = ids->Product},
                          .Interface = ids->Interface};
    if (!ids->Interface && parts[2].find('&') == std::string_view::npos)
        instance.Identity.Serial = parts[2];
    return instance;
}

// FTDIBUS\VID_0403+PID_6001+A50285BIA\0000: the serial number with the port's letter after it.
std::optional<TUsbIdentity> FromFtdiId(std::string_view id)
{
    const auto parts = Split(id, '\\');
    if (parts.size() != 3 || !StartsWithNoCase(parts[0], "FTDIBUS")) return std::nullopt;
    const auto fields = Split(parts[1], '+');
    if (fields.size() != 3) return std::nullopt;
    const auto ids = ParseUsbIds(std::span(fields).first(2));
    if (!ids) return std::nullopt;
    const std::string_view serial = fields[2];
    const bool lettered = serial.size() > 1 && serial.back() >= 'A' && serial.back() <= 'Z' &&
                          serial.find('&') == std::string_view::npos;
    return TUsbIdentity{.Vendor = ids->Vendor,
                        .Product = ids->Product,
                        .Serial = lettered ? std::string(serial.substr(0, serial.size() - 1))
                                           : std::string()};
}

} // namespace

std::optional<unsigned> ComPortNumber(std::string_view name)
{
    if (name.substr(0, 4) == R"(\\.\)") name.remove_prefix(4);
    if (!StartsWithNoCase(name, "COM") || name.size() == 3 || name.size() > 6 || name[3] == '0')
        return std::nullopt;
    unsigned number = 0;
    for (const char c : name.substr(3)) {
        if (c < '0' || c > '9') return std::nullopt;
        number = number * 10 + static_cast<unsigned>(c - '0');
    }
    return number;
}

bool SameComPort(std::string_view a, std::string_view b)
{
    const auto first = ComPortNumber(a);
    return first ? first == ComPortNumber(b) : a == b;
}

bool ComPortBefore(std::string_view a, std::string_view b)
{
    const auto first = ComPortNumber(a);
    const auto second = ComPortNumber(b);
    // A name that is not a COM port's sorts after all of them.
    return std::make_tuple(!first, first.value_or(0), a) <
           std::make_tuple(!second, second.value_or(0), b);
}

std::optional<TUsbIdentity> UsbIdentityFromInstanceIds(std::span<const std::string> ids)
{
    // Up to the first USB device: the adapter. Above it are hubs, whose ids are not the port's.
    std::optional<TUsbIdentity> below; // an interface's or FTDI's bus device's
    for (const std::string& id : ids) {
        const auto usb = FromUsbId(id);
        if (usb && !usb->Interface) {
            TUsbIdentity device = usb->Identity;
            if (device.Serial.empty() && below) device.Serial = below->Serial;
            return device;
        }
        const auto identity = usb ? std::optional(usb->Identity) : FromFtdiId(id);
        if (!identity) break; // neither: not on USB
        if (!below || below->Serial.empty()) below = identity;
    }
    return below;
}

std::string ComPortDescription(const TComPortFacts& port)
{
    std::string text = port.FriendlyName;
    const std::string suffix = " (" + port.Name + ")";
    if (text.size() >= suffix.size() &&
        text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0)
        text.resize(text.size() - suffix.size());
    if (!port.Manufacturer.empty() && port.Manufacturer.front() != '(')
        text += (text.empty() ? "(" : " (") + port.Manufacturer + ")";
    const auto usb = UsbIdentityFromInstanceIds(port.InstanceIds);
    if (text.empty() && usb) text = "usb " + usb->Vendor + ":" + usb->Product;
    if (usb && !usb->Serial.empty()) text += " " + usb->Serial;
    return text.empty() ? port.Name : port.Name + " \u2014 " + text;
}

std::vector<TPortListing> DescribeComPorts(std::span<const TComPortFacts> ports)
{
    std::vector<TPortListing> result;
    for (const TComPortFacts& port : ports) {
        const bool known = std::any_of(result.begin(), result.end(), [&](const TPortListing& p) {
            return SameComPort(p.Path, port.Name);
        });
        if (!known) result.push_back({port.Name, ComPortDescription(port)});
    }
    std::stable_sort(
        result.begin(), result.end(),
        [](const TPortListing& a, const TPortListing& b) { return ComPortBefore(a.Path, b.Path); });
    return result;
}
