#pragma once

#include "serial/ISerialDevice.h"

#include <memory>
#include <string>

// Opens serial devices by path.
class ISerialBackend
{
public:
    virtual ~ISerialBackend() = default;
    // Opens the device for exclusive use in raw mode. Failed when it cannot be opened (absent,
    // not a terminal, in use elsewhere), with the system's code that says why; nothing stays
    // open then.
    virtual TDeviceResult<std::unique_ptr<ISerialDevice>> Open(const std::string& path) = 0;
};

// The platform's backend (POSIX terminals, Win32 COM ports), and the device it names port n by
// (1: /dev/ttyS0 or COM1).
std::unique_ptr<ISerialBackend> SystemSerialBackend();
std::string SystemPortPath(int port);
