#include "system/TDeviceWatch.h"

#include <stdexcept>

// Windows tells of arriving COM ports only to a window or a configuration-manager callback, and
// this build has neither yet; --watch says so at once rather than looking again and again.
TDeviceWatch::TDeviceWatch()
{
    throw std::runtime_error("not available in the Windows build; name each port and run again");
}

bool TDeviceWatch::WaitUntil(const std::function<bool()>& holds, const std::string&)
{
    return holds();
}

void TDeviceWatch::Stop()
{
    fStop.Raise();
}

void TDeviceWatch::Drain() {}
