// The POSIX backend's translation of the line state to termios, on a pseudo-terminal.
#include "serial/PosixSerialBackend.h"
#include "serial/SerialConstants.h"
#include "tests/serial/PtyPair.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <poll.h>
#include <termios.h>

namespace {

class PosixSerialDeviceTest : public ::testing::Test
{
protected:
    termios SlaveTermios()
    {
        termios tio{};
        EXPECT_EQ(::tcgetattr(Device->PollDescriptor(), &tio), 0);
        return tio;
    }

    TPtyPair Pty;
    TPosixSerialBackend Backend;
    int OpenError = 0;
    std::unique_ptr<ISerialDevice> Device = Backend.Open(Pty.SlavePath(), OpenError);
};

// A failed open says why, so the window can tell the technician what to do about it.
TEST_F(PosixSerialDeviceTest, FailedOpenReportsItsCause)
{
    ASSERT_TRUE(Device);
    const struct
    {
        std::string Path;
        int Error;
    } cases[] = {{"/dev/tarvel-no-such-device", ENOENT},
                 {"/dev/null", ENOTTY},
                 {Pty.SlavePath(), EBUSY}}; // held by the fixture's device
    for (const auto& c : cases) {
        int error = 0;
        EXPECT_EQ(Backend.Open(c.Path, error), nullptr) << c.Path;
        EXPECT_EQ(error, c.Error) << c.Path;
    }
}

TEST_F(PosixSerialDeviceTest, OpensInRawMode)
{
    ASSERT_TRUE(Device);
    const termios tio = SlaveTermios();
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), CLOCAL | CREAD);
    EXPECT_EQ(tio.c_iflag & (ICRNL | IXON | INPCK), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
}

TEST_F(PosixSerialDeviceTest, LineStateRoundTrips)
{
    ASSERT_TRUE(Device);
    TDeviceControlBlock state;
    ASSERT_TRUE(Device->GetState(state));
    // A pseudo-terminal forces 8 data bits without parity; the rest it keeps.
    state.BaudRate = 115200;
    state.ByteSize = 8;
    state.Parity = 0;
    state.StopBits = 2;
    state.XonLim = 6144;
    state.XoffLim = 4096;
    state.Flags = 0x1011;
    ASSERT_TRUE(Device->SetState(state));

    TDeviceControlBlock back;
    ASSERT_TRUE(Device->GetState(back));
    EXPECT_EQ(back, state);

    const termios tio = SlaveTermios();
    EXPECT_TRUE(tio.c_cflag & CSTOPB);
    EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B115200));
}

TEST_F(PosixSerialDeviceTest, AnyBaudRateIsAccepted)
{
    ASSERT_TRUE(Device);
    TDeviceControlBlock state;
    ASSERT_TRUE(Device->GetState(state));
    state.BaudRate = 250000; // no Bxxx constant
    ASSERT_TRUE(Device->SetState(state));
    TDeviceControlBlock back;
    ASSERT_TRUE(Device->GetState(back));
    EXPECT_EQ(back.BaudRate, 250000u);
    state.BaudRate = 9600;
    ASSERT_TRUE(Device->SetState(state));
    ASSERT_TRUE(Device->GetState(back));
    EXPECT_EQ(back.BaudRate, 9600u);
}

TEST_F(PosixSerialDeviceTest, FlagsWordMapsToFlowControl)
{
    ASSERT_TRUE(Device);
    TDeviceControlBlock state;
    ASSERT_TRUE(Device->GetState(state));
    state.Flags = DCB_fBinary | DCB_fOutX | DCB_fInX | DCB_fOutxCtsFlow;
    ASSERT_TRUE(Device->SetState(state));
    termios tio = SlaveTermios();
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));
    EXPECT_TRUE(tio.c_cflag & CRTSCTS);

    state.Flags = DCB_fBinary | DCB_RtsControlHandshake;
    ASSERT_TRUE(Device->SetState(state));
    tio = SlaveTermios();
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF), 0u);
    EXPECT_TRUE(tio.c_cflag & CRTSCTS);

    state.Flags = 0x1011;
    ASSERT_TRUE(Device->SetState(state));
    EXPECT_FALSE(SlaveTermios().c_cflag & CRTSCTS);
}

TEST_F(PosixSerialDeviceTest, UnsupportedCharacterFormatIsRejected)
{
    ASSERT_TRUE(Device);
    TDeviceControlBlock state;
    ASSERT_TRUE(Device->GetState(state));
    const TDeviceControlBlock before = state;
    state.ByteSize = 9;
    EXPECT_FALSE(Device->SetState(state));
    TDeviceControlBlock back;
    ASSERT_TRUE(Device->GetState(back));
    EXPECT_EQ(back.ByteSize, before.ByteSize);
}

TEST_F(PosixSerialDeviceTest, NonBlockingTransfersAndQueueQueries)
{
    ASSERT_TRUE(Device);
    std::byte buffer[16];
    EXPECT_EQ(Device->Read(buffer).Status, TIoStatus::WouldBlock);
    Pty.Send("abc");
    pollfd fd{Device->PollDescriptor(), POLLIN, 0};
    ASSERT_EQ(::poll(&fd, 1, 20000), 1);
    EXPECT_EQ(Device->BytesWaiting(), 3u);
    const TIoResult read = Device->Read(buffer);
    EXPECT_EQ(read.Status, TIoStatus::Ok);
    EXPECT_EQ(read.Count, 3u);

    const std::string out = "xyz";
    const TIoResult written = Device->Write(std::as_bytes(std::span(out.data(), out.size())));
    EXPECT_EQ(written.Count, 3u);
    EXPECT_EQ(Pty.Receive(3), "xyz");
    EXPECT_FALSE(Device->ModemStatus()); // pseudo-terminals have no modem lines
}

TEST_F(PosixSerialDeviceTest, ReadReportsALostDevice)
{
    ASSERT_TRUE(Device);
    Pty.CloseMaster();
    std::byte buffer[16];
    EXPECT_EQ(Device->Read(buffer).Status, TIoStatus::Lost);
}

} // namespace
