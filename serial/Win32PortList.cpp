// The COM ports present, as SetupAPI and the DOS device names tell them. Every Win32 call of the
// port list is here; what the facts mean is in ComPortNames.cpp.
#include "serial/ComPortNames.h"
#include "serial/SerialPortList.h"

// windows.h before the headers that use its types.
// clang-format off
#include <windows.h>
#include <cfgmgr32.h>
#include <setupapi.h>
// clang-format on

#include <cwchar>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

namespace {

// GUID_DEVINTERFACE_COMPORT and GUID_DEVCLASS_PORTS, whose headers would need INITGUID (and
// ntddser.h kernel types) to define them here.
constexpr GUID kComPortInterface{
    0x86e0d1e0, 0x8089, 0x11d0, {0x9c, 0xe4, 0x08, 0x00, 0x3e, 0x30, 0x1f, 0x73}};
constexpr GUID kPortsClass{
    0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

std::string Utf8(const wchar_t* text)
{
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return {};
    std::string result(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), size, nullptr, nullptr);
    result.resize(static_cast<std::size_t>(size) - 1);
    return result;
}

std::wstring Wide(const std::string& text)
{
    const int size = ::MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    if (size <= 1) return {};
    std::wstring result(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, result.data(), size);
    result.resize(static_cast<std::size_t>(size) - 1);
    return result;
}

struct TDeviceInfoListCloser
{
    void operator()(HDEVINFO set) const { ::SetupDiDestroyDeviceInfoList(set); }
};
using TDeviceInfoList = std::unique_ptr<std::remove_pointer_t<HDEVINFO>, TDeviceInfoListCloser>;

struct TRegistryKeyCloser
{
    void operator()(HKEY key) const { ::RegCloseKey(key); }
};
using TRegistryKey = std::unique_ptr<std::remove_pointer_t<HKEY>, TRegistryKeyCloser>;

// A string property of the device; empty when it has none.
std::string Property(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property)
{
    wchar_t text[512] = {};
    if (!::SetupDiGetDeviceRegistryPropertyW(set, &device, property, nullptr,
                                             reinterpret_cast<BYTE*>(text), sizeof text - 2,
                                             nullptr))
        return {};
    return Utf8(text);
}

// The "PortName" the serial driver took from the device's key: COM3.
std::string PortName(HDEVINFO set, SP_DEVINFO_DATA& device)
{
    const HKEY opened =
        ::SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (opened == reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE)) return {};
    const TRegistryKey key(opened);
    wchar_t name[64] = {};
    DWORD size = sizeof name - 2;
    DWORD type = 0;
    if (::RegQueryValueExW(key.get(), L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(name),
                           &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return {};
    return Utf8(name);
}

// The device's instance id, then its parents' up to the root's children: the USB device (or
// FTDI's bus device) is one or two levels above the port.
std::vector<std::string> InstanceIds(DEVINST device)
{
    std::vector<std::string> ids;
    for (int level = 0; level < 4; ++level) {
        wchar_t id[MAX_DEVICE_ID_LEN + 1] = {};
        if (::CM_Get_Device_IDW(device, id, MAX_DEVICE_ID_LEN, 0) != CR_SUCCESS) break;
        ids.push_back(Utf8(id));
        DEVINST parent = 0;
        if (::CM_Get_Parent(&parent, device, 0) != CR_SUCCESS) break;
        device = parent;
    }
    return ids;
}

// The present devices of one class (flags: DIGCF_DEVICEINTERFACE for an interface class).
void AddPortsOfClass(const GUID& guid, DWORD flags, std::vector<TComPortFacts>& ports)
{
    const HDEVINFO made = ::SetupDiGetClassDevsW(&guid, nullptr, nullptr, DIGCF_PRESENT | flags);
    if (made == INVALID_HANDLE_VALUE) return; // none of that class: the DOS device names remain
    const TDeviceInfoList set(made);
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; ::SetupDiEnumDeviceInfo(set.get(), i, &device); ++i) {
        TComPortFacts port{.Name = PortName(set.get(), device)};
        if (!ComPortNumber(port.Name)) continue; // LPT ports share the Ports class
        port.FriendlyName = Property(set.get(), device, SPDRP_FRIENDLYNAME);
        port.Manufacturer = Property(set.get(), device, SPDRP_MFG);
        port.InstanceIds = InstanceIds(device.DevInst);
        ports.push_back(std::move(port));
    }
}

// The COM names among the DOS device names: COM1, COM12, and Wine's dosdevices links.
std::vector<std::string> DosComNames()
{
    std::vector<wchar_t> names(65536);
    const DWORD length = ::QueryDosDeviceW(nullptr, names.data(), static_cast<DWORD>(names.size()));
    std::vector<std::string> result;
    for (const wchar_t* name = names.data(); length > 0 && *name != L'\0';
         name += std::wcslen(name) + 1) {
        const std::string text = Utf8(name);
        if (ComPortNumber(text)) result.push_back(text);
    }
    return result;
}

std::vector<TComPortFacts> ComPortFacts()
{
    std::vector<TComPortFacts> ports;
    AddPortsOfClass(kComPortInterface, DIGCF_DEVICEINTERFACE, ports);
    AddPortsOfClass(kPortsClass, 0, ports);
    for (std::string& name : DosComNames())
        ports.push_back({.Name = std::move(name)}); // after SetupAPI's, whose facts win
    return ports;
}

} // namespace

std::vector<std::string> ListSerialPorts()
{
    std::vector<std::string> names;
    for (const TPortListing& port : DescribeComPorts(ComPortFacts()))
        names.push_back(port.Path);
    return names;
}

std::vector<TPortListing> DescribeSerialPorts()
{
    return DescribeComPorts(ComPortFacts());
}

std::optional<TUsbIdentity> UsbIdentity(const std::string& devicePath)
{
    for (const TComPortFacts& port : ComPortFacts())
        if (SameComPort(port.Name, devicePath)) return UsbIdentityFromInstanceIds(port.InstanceIds);
    return std::nullopt;
}

bool SerialPortPresent(const std::string& path)
{
    // A COM name or another DOS device name (\\.\CNCA0) is there while the system maps it.
    const std::string name = path.rfind(R"(\\.\)", 0) == 0 ? path.substr(4) : path;
    if (name.find_first_of("\\/:") != std::string::npos) return false;
    wchar_t target[1024];
    return ::QueryDosDeviceW(Wide(name).c_str(), target, 1024) != 0;
}

bool SamePortName(const std::string& a, const std::string& b)
{
    return SameComPort(a, b);
}
