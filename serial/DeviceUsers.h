#pragma once
// Who may use a device and who is using it, asked of the system so that an open failure can
// say what to do about it. Windows tells neither here: both answer nullopt there.

#include <optional>
#include <string>

struct TDeviceHolder
{
    long Pid = 0;
    std::string Program; // the process's command name
};

// The group that owns the device node (usually "dialout"); nullopt when it cannot be told.
std::optional<std::string> DeviceGroupName(const std::string& path);

// A process that has the device open, found through /proc/<pid>/fd; nullopt when none can be
// seen (another user's processes are hidden from an unprivileged one).
std::optional<TDeviceHolder> FindDeviceHolder(const std::string& path);
