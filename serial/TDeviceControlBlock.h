#pragma once

#include <cstdint>

// The line state of a port as the component configures it: speed, character format,
// the flow-control flags word and the XON/XOFF thresholds.
struct TDeviceControlBlock
{
    uint32_t BaudRate = 0;
    uint32_t Flags = 0; // DCB_* bits of SerialConstants.h
    uint16_t XonLim = 0;
    uint16_t XoffLim = 0;
    uint8_t ByteSize = 8;
    uint8_t Parity = 0;   // 0 none, 1 odd, 2 even, 3 mark, 4 space
    uint8_t StopBits = 0; // 0 one, 1 one and a half, 2 two

    bool operator==(const TDeviceControlBlock&) const = default;
};
