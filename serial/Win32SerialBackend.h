#pragma once

#include "serial/ISerialBackend.h"

// Opens COM ports (COM1, COM12, \\.\COM12) for exclusive overlapped use. Every Win32 call of the
// component is in its source file.
class TWin32SerialBackend final : public ISerialBackend
{
public:
    // A failure's Error is the errno that says why, so the reasons read as on Linux (EBUSY: in
    // use); see Win32DeviceFailure.
    TDeviceResult<std::unique_ptr<ISerialDevice>> Open(const std::string& path) override;
};

// A failed call's GetLastError code as the device layer's failure: the errno it matches, which
// the catalogues word; otherwise the code itself as SystemError, so the system's own text is
// shown rather than a vague errno's.
TDeviceFailure Win32DeviceFailure(unsigned long code);
