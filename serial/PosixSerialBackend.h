#pragma once

#include "serial/ISerialBackend.h"

// Opens terminal devices (/dev/ttyS*, /dev/ttyUSB*, pseudo-terminals) for exclusive raw use.
class TPosixSerialBackend final : public ISerialBackend
{
public:
    TDeviceResult<std::unique_ptr<ISerialDevice>> Open(const std::string& path) override;
};
