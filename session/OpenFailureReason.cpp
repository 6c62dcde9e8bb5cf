#include "session/OpenFailureReason.h"

#include "i18n/TLocalizationModule.h"
#include "serial/DeviceUsers.h"

#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>
#include <system_error>

namespace {

constexpr const char* PermissionDenied =
    "Permission denied: add your user to the group '%1' (sudo usermod -aG %1 $USER), then log "
    "out and in again.";
constexpr const char* PermissionDeniedUsb =
    "Permission denied: Tarvel gives the user logged in at this computer access to USB adapters; "
    "unplug the adapter and plug it in again. From a remote login, add your user to the group "
    "'%1' (sudo usermod -aG %1 $USER), then log out and in again.";
constexpr const char* InUseBy = "It is in use by another program: %1 (process %2).";
constexpr const char* InUse = "It is in use by another program.";
constexpr const char* NothingThere =
    "Nothing is plugged in there; tarvel --list-ports lists what is present.";
constexpr const char* NotASerialPort = "It is not a serial port.";
// A port across the network (rfc2217://, tcp://).
constexpr const char* HostUnknown =
    "The host name is not known: no address was found for it. Check the name, or give the host's "
    "IP address.";
constexpr const char* NothingListens =
    "Nothing accepts connections on that port of the host: is ser2net running there, serving "
    "this port?";
constexpr const char* HostSilent =
    "The host does not answer: check that it is switched on and reachable from here.";
constexpr const char* ServerClosed =
    "The server closed the connection at once: the port may be in use by another client.";
constexpr const char* NotANetworkPort =
    "Name a port across the network as rfc2217://HOST:PORT or tcp://HOST:PORT.";
constexpr const char* Texts[] = {
    PermissionDenied, PermissionDeniedUsb, InUseBy,    InUse,        NothingThere,   NotASerialPort,
    HostUnknown,      NothingListens,      HostSilent, ServerClosed, NotANetworkPort};

std::string Tr(const char* text)
{
    try {
        return TranslateResourceString(text);
    } catch (const std::exception&) {
        return text; // a damaged catalogue was reported at start-up
    }
}

// Why a connection to a port across the network failed, in the user's terms.
std::string NetworkReason(int error)
{
    switch (error) {
    case ENXIO:
        return Tr(HostUnknown);
    case ECONNREFUSED:
        return Tr(NothingListens);
    case ETIMEDOUT:
    case EHOSTUNREACH:
    case ENETUNREACH:
        return Tr(HostSilent);
    case ECONNRESET:
    case EPIPE:
        return Tr(ServerClosed);
    case EINVAL:
        return Tr(NotANetworkPort);
    default:
        return std::strerror(error);
    }
}

// Qt-style placeholders, so one catalogue entry serves every front end.
std::string Filled(std::string text, const std::string& first, const std::string& second = {})
{
    for (const auto& [mark, value] : {std::pair{"%1", first}, std::pair{"%2", second}}) {
        for (auto at = text.find(mark); at != std::string::npos; at = text.find(mark, at))
            text.replace(at, 2, value), at += value.size();
    }
    return text;
}

// The adapters the package's udev rule opens to the user at the seat (ttyUSB, ttyACM), also
// through a link such as /dev/serial/by-id/...
bool IsUsbAdapter(const std::string& path)
{
    std::error_code error;
    const std::filesystem::path device = std::filesystem::weakly_canonical(path, error);
    const std::string name = (error ? std::filesystem::path(path) : device).filename().string();
    return name.starts_with("ttyUSB") || name.starts_with("ttyACM");
}

} // namespace

std::string OpenFailureReason(const std::string& path, int error)
{
    if (error != 0 && (path.starts_with("rfc2217://") || path.starts_with("tcp://")))
        return NetworkReason(error);
    switch (error) {
    case EACCES:
    case EPERM:
        return Filled(Tr(IsUsbAdapter(path) ? PermissionDeniedUsb : PermissionDenied),
                      DeviceGroupName(path).value_or("dialout"));
    case EBUSY:
        if (const auto holder = FindDeviceHolder(path))
            return Filled(Tr(InUseBy), holder->Program, std::to_string(holder->Pid));
        return Tr(InUse);
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return Tr(NothingThere);
    case ENOTTY:
        return Tr(NotASerialPort);
    case 0:
        return {};
    default:
        return std::strerror(error);
    }
}

std::span<const char* const> OpenFailureReasonTexts()
{
    return Texts;
}
