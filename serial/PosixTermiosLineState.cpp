#include "serial/PosixTermiosLineState.h"

#include "serial/SerialConstants.h"

#include <array>

namespace {

struct TStandardSpeed
{
    uint32_t Rate;
    speed_t Code;
};

constexpr std::array kStandardSpeeds{
    TStandardSpeed{50, B50},           TStandardSpeed{75, B75},
    TStandardSpeed{110, B110},         TStandardSpeed{134, B134},
    TStandardSpeed{150, B150},         TStandardSpeed{200, B200},
    TStandardSpeed{300, B300},         TStandardSpeed{600, B600},
    TStandardSpeed{1200, B1200},       TStandardSpeed{1800, B1800},
    TStandardSpeed{2400, B2400},       TStandardSpeed{4800, B4800},
    TStandardSpeed{9600, B9600},       TStandardSpeed{19200, B19200},
    TStandardSpeed{38400, B38400},     TStandardSpeed{57600, B57600},
    TStandardSpeed{115200, B115200},   TStandardSpeed{230400, B230400},
    TStandardSpeed{460800, B460800},   TStandardSpeed{500000, B500000},
    TStandardSpeed{576000, B576000},   TStandardSpeed{921600, B921600},
    TStandardSpeed{1000000, B1000000}, TStandardSpeed{1152000, B1152000},
    TStandardSpeed{1500000, B1500000}, TStandardSpeed{2000000, B2000000},
    TStandardSpeed{2500000, B2500000}, TStandardSpeed{3000000, B3000000},
    TStandardSpeed{3500000, B3500000}, TStandardSpeed{4000000, B4000000},
};

} // namespace

std::optional<speed_t> StandardSpeedCode(uint32_t rate)
{
    for (const auto& s : kStandardSpeeds)
        if (s.Rate == rate) return s.Code;
    return std::nullopt;
}

std::optional<uint32_t> StandardSpeedRate(speed_t code)
{
    for (const auto& s : kStandardSpeeds)
        if (s.Code == code) return s.Rate;
    return std::nullopt;
}

bool EncodeLineState(const TDeviceControlBlock& state, termios& result)
{
    termios tio = result;
    tcflag_t size = 0;
    switch (state.ByteSize) {
    case 5:
        size = CS5;
        break;
    case 6:
        size = CS6;
        break;
    case 7:
        size = CS7;
        break;
    case 8:
        size = CS8;
        break;
    default:
        return false;
    }
    tio.c_cflag = (tio.c_cflag & ~CSIZE) | size;

    tio.c_cflag &= ~(PARENB | PARODD | CMSPAR);
    switch (state.Parity) {
    case 0:
        break;
    case 1:
        tio.c_cflag |= PARENB | PARODD;
        break;
    case 2:
        tio.c_cflag |= PARENB;
        break;
    case 3:
        tio.c_cflag |= PARENB | CMSPAR | PARODD;
        break;
    case 4:
        tio.c_cflag |= PARENB | CMSPAR;
        break;
    default:
        return false;
    }
    switch (state.StopBits) {
    case 0:
        tio.c_cflag &= ~CSTOPB;
        break;
    case 1:
    case 2:
        tio.c_cflag |= CSTOPB;
        break; // 1.5 stop bits: the driver's choice with 5 data bits
    default:
        return false;
    }

    // Received parity is never checked; hardware and software flow control per flags word.
    tio.c_iflag &= ~(INPCK | PARMRK | IXON | IXOFF | IXANY);
    if (state.Flags & DCB_fParity) tio.c_iflag |= INPCK;
    if (state.Flags & DCB_fOutX) tio.c_iflag |= IXON;
    if (state.Flags & DCB_fInX) tio.c_iflag |= IXOFF;
    const bool rtsHandshake = (state.Flags & DCB_RtsControlMask) == DCB_RtsControlHandshake;
    if ((state.Flags & DCB_fOutxCtsFlow) || rtsHandshake)
        tio.c_cflag |= CRTSCTS;
    else
        tio.c_cflag &= ~CRTSCTS;
    tio.c_cflag |= CLOCAL | CREAD;

    result = tio;
    return true;
}

void DecodeLineState(const termios& tio, TDeviceControlBlock& state)
{
    switch (tio.c_cflag & CSIZE) {
    case CS5:
        state.ByteSize = 5;
        break;
    case CS6:
        state.ByteSize = 6;
        break;
    case CS7:
        state.ByteSize = 7;
        break;
    default:
        state.ByteSize = 8;
        break;
    }
    if (!(tio.c_cflag & PARENB))
        state.Parity = 0;
    else if (tio.c_cflag & CMSPAR)
        state.Parity = (tio.c_cflag & PARODD) ? 3 : 4;
    else
        state.Parity = (tio.c_cflag & PARODD) ? 1 : 2;
    if (!(tio.c_cflag & CSTOPB))
        state.StopBits = 0;
    else
        state.StopBits = state.ByteSize == 5 ? 1 : 2;
}
