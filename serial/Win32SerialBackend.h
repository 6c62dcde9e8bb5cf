#pragma once

#include "serial/ISerialBackend.h"

// Opens COM ports (COM1, COM12, \\.\COM12) for exclusive overlapped use. Every Win32 call of the
// component is in its source file.
class TWin32SerialBackend final : public ISerialBackend
{
public:
    // `error` is the errno that says why, so the reasons read as on Linux (EBUSY: in use).
    TDeviceResult<std::unique_ptr<ISerialDevice>> Open(const std::string& path) override;
};
