// The POSIX backend's translation of the line state to termios, on a pseudo-terminal.
#include "serial/PosixSerialDevice.h"
#include "serial/PosixSerialBackend.h"
#include "serial/SerialConstants.h"
#include "system/TWakeUpEvent.h"
#include "tests/support/TPseudoTerminal.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <termios.h>

namespace {

class PosixSerialDeviceTest : public ::testing::Test
{
protected:
    termios SlaveTermios()
    {
        termios tio{};
        EXPECT_EQ(::tcgetattr(static_cast<TPosixSerialDevice&>(*fDevice).Descriptor(), &tio), 0);
        return tio;
    }

    TPseudoTerminal fPty;
    TPosixSerialBackend fBackend;
    int fOpenError = 0;
    std::unique_ptr<ISerialDevice> fDevice = fBackend.Open(fPty.DevicePath(), fOpenError);
};

// A failed open says why, so the window can tell the technician what to do about it.
TEST_F(PosixSerialDeviceTest, FailedOpenReportsItsCause)
{
    ASSERT_TRUE(fDevice);
    const struct
    {
        std::string Path;
        int Error;
    } cases[] = {{"/dev/tarvel-no-such-device", ENOENT},
                 {"/dev/null", ENOTTY},
                 {fPty.DevicePath(), EBUSY}}; // held by the fixture's device
    for (const auto& c : cases) {
        int error = 0;
        EXPECT_EQ(fBackend.Open(c.Path, error), nullptr) << c.Path;
        EXPECT_EQ(error, c.Error) << c.Path;
    }
}

TEST_F(PosixSerialDeviceTest, OpensInRawMode)
{
    ASSERT_TRUE(fDevice);
    const termios tio = SlaveTermios();
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), CLOCAL | CREAD);
    EXPECT_EQ(tio.c_iflag & (ICRNL | IXON | INPCK), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
}

TEST_F(PosixSerialDeviceTest, LineStateRoundTrips)
{
    ASSERT_TRUE(fDevice);
    TDeviceControlBlock state;
    ASSERT_TRUE(fDevice->GetState(state));
    // A pseudo-terminal forces 8 data bits without parity; the rest it keeps.
    state.BaudRate = 115200;
    state.ByteSize = 8;
    state.Parity = 0;
    state.StopBits = 2;
    state.XonLim = 6144;
    state.XoffLim = 4096;
    state.Flags = 0x1011;
    ASSERT_TRUE(fDevice->SetState(state));

    TDeviceControlBlock back;
    ASSERT_TRUE(fDevice->GetState(back));
    EXPECT_EQ(back, state);

    const termios tio = SlaveTermios();
    EXPECT_TRUE(tio.c_cflag & CSTOPB);
    EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B115200));
}

TEST_F(PosixSerialDeviceTest, AnyBaudRateIsAccepted)
{
    ASSERT_TRUE(fDevice);
    TDeviceControlBlock state;
    ASSERT_TRUE(fDevice->GetState(state));
    state.BaudRate = 250000; // no Bxxx constant
    ASSERT_TRUE(fDevice->SetState(state));
    TDeviceControlBlock back;
    ASSERT_TRUE(fDevice->GetState(back));
    EXPECT_EQ(back.BaudRate, 250000u);
    state.BaudRate = 9600;
    ASSERT_TRUE(fDevice->SetState(state));
    ASSERT_TRUE(fDevice->GetState(back));
    EXPECT_EQ(back.BaudRate, 9600u);
}

TEST_F(PosixSerialDeviceTest, FlagsWordMapsToFlowControl)
{
    ASSERT_TRUE(fDevice);
    TDeviceControlBlock state;
    ASSERT_TRUE(fDevice->GetState(state));
    state.Flags = DCB_fBinary | DCB_fOutX | DCB_fInX | DCB_fOutxCtsFlow;
    ASSERT_TRUE(fDevice->SetState(state));
    termios tio = SlaveTermios();
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));
    EXPECT_TRUE(tio.c_cflag & CRTSCTS);

    state.Flags = DCB_fBinary | DCB_RtsControlHandshake;
    ASSERT_TRUE(fDevice->SetState(state));
    tio = SlaveTermios();
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF), 0u);
    EXPECT_TRUE(tio.c_cflag & CRTSCTS);

    state.Flags = 0x1011;
    ASSERT_TRUE(fDevice->SetState(state));
    EXPECT_FALSE(SlaveTermios().c_cflag & CRTSCTS);
}

TEST_F(PosixSerialDeviceTest, UnsupportedCharacterFormatIsRejected)
{
    ASSERT_TRUE(fDevice);
    TDeviceControlBlock state;
    ASSERT_TRUE(fDevice->GetState(state));
    const TDeviceControlBlock before = state;
    state.ByteSize = 9;
    EXPECT_FALSE(fDevice->SetState(state));
    TDeviceControlBlock back;
    ASSERT_TRUE(fDevice->GetState(back));
    EXPECT_EQ(back.ByteSize, before.ByteSize);
}

TEST_F(PosixSerialDeviceTest, NonBlockingTransfersAndQueueQueries)
{
    ASSERT_TRUE(fDevice);
    std::byte buffer[16];
    EXPECT_EQ(fDevice->Read(buffer).Status, TIoStatus::WouldBlock);
    fPty.Send("abc");
    const TWakeUpEvent wake;
    const TPortWait seen = fDevice->Wait(wake, true, 20000);
    ASSERT_TRUE(seen.Readable);
    EXPECT_TRUE(seen.Writable);
    EXPECT_FALSE(seen.Woken || seen.Lost);
    EXPECT_EQ(fDevice->BytesWaiting(), 3u);
    const TIoResult read = fDevice->Read(buffer);
    EXPECT_EQ(read.Status, TIoStatus::Ok);
    EXPECT_EQ(read.Count, 3u);

    const std::string out = "xyz";
    const TIoResult written = fDevice->Write(std::as_bytes(std::span(out.data(), out.size())));
    EXPECT_EQ(written.Count, 3u);
    EXPECT_EQ(fPty.Receive(3), "xyz");
    EXPECT_FALSE(fDevice->ModemStatus()); // pseudo-terminals have no modem lines
}

TEST_F(PosixSerialDeviceTest, ReadReportsALostDevice)
{
    ASSERT_TRUE(fDevice);
    fPty.CloseMaster();
    std::byte buffer[16];
    EXPECT_EQ(fDevice->Read(buffer).Status, TIoStatus::Lost);
}

TEST_F(PosixSerialDeviceTest, WriteReportsALostDevice)
{
    ASSERT_TRUE(fDevice);
    fPty.HangUp();
    const std::string out = "after the end";
    EXPECT_EQ(fDevice->Write(std::as_bytes(std::span(out.data(), out.size()))).Status,
              TIoStatus::Lost);
}

TEST_F(PosixSerialDeviceTest, PurgeDropsWhatWaitsAndSaysItDid)
{
    ASSERT_TRUE(fDevice);
    const TWakeUpEvent wake;
    for (uint32_t flags : {uint32_t{PURGE_RXCLEAR}, uint32_t{PURGE_RXABORT | PURGE_TXABORT}}) {
        fPty.Send("stale");
        ASSERT_TRUE(fDevice->Wait(wake, false, 20000).Readable);
        EXPECT_TRUE(fDevice->Purge(flags)) << flags;
        EXPECT_EQ(fDevice->BytesWaiting(), 0u) << flags;
    }
    EXPECT_TRUE(fDevice->Purge(PURGE_TXCLEAR));
}

} // namespace
