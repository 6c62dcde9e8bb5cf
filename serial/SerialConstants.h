#pragma once

#include <cstdint>

// Event bits the communication thread handles (same values as the classic COM event mask).
inline constexpr uint32_t EV_RXCHAR = 0x0001;
inline constexpr uint32_t EV_TXEMPTY = 0x0004;
inline constexpr uint32_t EV_CTS = 0x0008;
inline constexpr uint32_t EV_DSR = 0x0010;
inline constexpr uint32_t EV_ERR = 0x0080;

// Modem status bits.
inline constexpr uint32_t MS_CTS_ON = 0x0010;
inline constexpr uint32_t MS_DSR_ON = 0x0020;
inline constexpr uint32_t MS_RING_ON = 0x0040;
inline constexpr uint32_t MS_RLSD_ON = 0x0080;

// Line error flags reported through OnError.
inline constexpr uint32_t CE_RXOVER = 0x0001;  // receive buffer overflow
inline constexpr uint32_t CE_OVERRUN = 0x0002; // character lost by the UART
inline constexpr uint32_t CE_RXPARITY = 0x0004;
inline constexpr uint32_t CE_FRAME = 0x0008;
inline constexpr uint32_t CE_BREAK = 0x0010;
// The device went away (USB adapter pulled, pseudo-terminal peer closed). A bit no
// line-error flag uses, reported whatever PortOptions says.
inline constexpr uint32_t CE_DEVICE_LOST = 0x00010000;

// What a USB adapter's FIFO may hold that the driver does not count as queued (a few hundred
// bytes; a high-speed one a few KiB).
inline constexpr uint32_t AdapterFifoBytes = 1024;

// Purge flags.
inline constexpr uint32_t PURGE_TXABORT = 0x0001;
inline constexpr uint32_t PURGE_RXABORT = 0x0002;
inline constexpr uint32_t PURGE_TXCLEAR = 0x0004;
inline constexpr uint32_t PURGE_RXCLEAR = 0x0008;

// Flag bits of the device control block's flags word.
inline constexpr uint32_t DCB_fBinary = 0x0001;
inline constexpr uint32_t DCB_fParity = 0x0002;
inline constexpr uint32_t DCB_fOutxCtsFlow = 0x0004;
inline constexpr uint32_t DCB_fOutxDsrFlow = 0x0008;
inline constexpr uint32_t DCB_DtrControlMask = 0x0030;
inline constexpr uint32_t DCB_DtrControlEnable = 0x0010;
inline constexpr uint32_t DCB_DtrControlHandshake = 0x0020;
inline constexpr uint32_t DCB_fDsrSensitivity = 0x0040;
inline constexpr uint32_t DCB_fTXContinueOnXoff = 0x0080;
inline constexpr uint32_t DCB_fOutX = 0x0100;
inline constexpr uint32_t DCB_fInX = 0x0200;
inline constexpr uint32_t DCB_RtsControlMask = 0x3000;
inline constexpr uint32_t DCB_RtsControlEnable = 0x1000;
inline constexpr uint32_t DCB_RtsControlHandshake = 0x2000;
inline constexpr uint32_t DCB_RtsControlToggle = 0x3000;
