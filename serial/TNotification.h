#pragma once

#include <cstdint>

// Messages from the communication thread to the component on the main thread.
enum class TNotificationKind : uint32_t {
    DataAvailable = 0x0400 + 3,
    DataSent = 0x0400 + 4,
    CtsChanged = 0x0400 + 5,
    DsrChanged = 0x0400 + 6,
    Error = 0x0400 + 7,
};

struct TNotification
{
    TNotificationKind Kind = TNotificationKind::DataAvailable;
    uint32_t Param = 0; // modem status word or error flags
};
