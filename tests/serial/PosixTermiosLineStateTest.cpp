// The line state <-> termios translation as pure functions.
#include "serial/PosixTermiosLineState.h"
#include "serial/SerialConstants.h"

#include <gtest/gtest.h>

namespace {

termios RawTermios()
{
    termios tio{};
    ::cfmakeraw(&tio);
    return tio;
}

TDeviceControlBlock Format(uint8_t byteSize, uint8_t parity, uint8_t stopBits,
                           uint32_t flags = 0x1011)
{
    TDeviceControlBlock state;
    state.ByteSize = byteSize;
    state.Parity = parity;
    state.StopBits = stopBits;
    state.Flags = flags;
    return state;
}

TEST(PosixTermiosLineStateTest, CharacterFormatsRoundTrip)
{
    for (uint8_t size = 5; size <= 8; ++size)
        for (uint8_t parity = 0; parity <= 4; ++parity)
            for (uint8_t stop : {uint8_t{0}, uint8_t{2}}) {
                termios tio = RawTermios();
                ASSERT_TRUE(EncodeLineState(Format(size, parity, stop), tio));
                TDeviceControlBlock back;
                DecodeLineState(tio, back);
                EXPECT_EQ(back.ByteSize, size);
                EXPECT_EQ(back.Parity, parity);
                // With five data bits the second stop bit is one and a half bits long.
                EXPECT_EQ(back.StopBits, size == 5 && stop == 2 ? 1 : stop);
            }
}

TEST(PosixTermiosLineStateTest, ParityBits)
{
    const tcflag_t expected[] = {0, PARENB | PARODD, PARENB, PARENB | CMSPAR | PARODD,
                                 PARENB | CMSPAR};
    for (uint8_t parity = 0; parity <= 4; ++parity) {
        termios tio = RawTermios();
        tio.c_cflag |= PARENB | PARODD | CMSPAR; // left over from before
        ASSERT_TRUE(EncodeLineState(Format(8, parity, 0), tio));
        EXPECT_EQ(tio.c_cflag & (PARENB | PARODD | CMSPAR), expected[parity]);
        // Parity is generated, never checked on input.
        EXPECT_EQ(tio.c_iflag & INPCK, 0u);
    }
}

TEST(PosixTermiosLineStateTest, OneAndAHalfStopBitsUseTheSecondStopBit)
{
    termios tio = RawTermios();
    ASSERT_TRUE(EncodeLineState(Format(5, 0, 1), tio));
    EXPECT_TRUE(tio.c_cflag & CSTOPB);
    TDeviceControlBlock back;
    DecodeLineState(tio, back);
    EXPECT_EQ(back.StopBits, 1);
}

TEST(PosixTermiosLineStateTest, InvalidFormatsAreRejectedWithoutChange)
{
    const termios before = RawTermios();
    for (const auto& state : {Format(9, 0, 0), Format(4, 0, 0), Format(8, 5, 0), Format(8, 0, 3)}) {
        termios tio = before;
        EXPECT_FALSE(EncodeLineState(state, tio));
        EXPECT_EQ(tio.c_cflag, before.c_cflag);
    }
}

TEST(PosixTermiosLineStateTest, FlowControlFromTheFlagsWord)
{
    struct Case
    {
        uint32_t Flags;
        bool Crtscts;
        tcflag_t Software;
    };
    const Case cases[] = {
        {0x1011, false, 0},
        {0x1011 | DCB_fOutX | DCB_fInX, false, IXON | IXOFF},
        {0x1011 | DCB_fOutX, false, IXON},
        {0x1011 | DCB_fOutxCtsFlow, true, 0},
        {0x0011 | DCB_RtsControlHandshake, true, 0},
        {0x0011 | DCB_RtsControlToggle, false, 0},
    };
    for (const auto& c : cases) {
        termios tio = RawTermios();
        tio.c_iflag |= IXANY;
        ASSERT_TRUE(EncodeLineState(Format(8, 0, 0, c.Flags), tio));
        EXPECT_EQ(static_cast<bool>(tio.c_cflag & CRTSCTS), c.Crtscts) << std::hex << c.Flags;
        EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | IXANY), c.Software) << std::hex << c.Flags;
        EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    }
}

TEST(PosixTermiosLineStateTest, StandardSpeeds)
{
    // Every rate Linux names goes to the driver as its own code, and back; any other rate needs
    // the custom divisor.
    const struct
    {
        uint32_t Rate;
        speed_t Code;
    } named[] = {
        {50, B50},           {75, B75},           {110, B110},         {134, B134},
        {150, B150},         {200, B200},         {300, B300},         {600, B600},
        {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
        {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
        {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
        {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
        {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
        {3500000, B3500000}, {4000000, B4000000},
    };
    for (const auto& n : named) {
        EXPECT_EQ(StandardSpeedCode(n.Rate), n.Code) << n.Rate;
        EXPECT_EQ(StandardSpeedRate(n.Code), n.Rate) << n.Rate;
    }
    for (uint32_t rate : {0u, 250000u, 115201u, 4000001u})
        EXPECT_FALSE(StandardSpeedCode(rate)) << rate;
}

} // namespace
