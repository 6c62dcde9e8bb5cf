// The POSIX backend's translation of the line state to termios, on a pseudo-terminal.
#include "serial/PosixSerialDevice.h"
#include "serial/PosixSerialBackend.h"
#include "serial/SerialConstants.h"
#include "system/TWakeUpEvent.h"
#include "tests/serial/TEmulatedUart.h"
#include "tests/support/TPseudoTerminal.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <functional>
#include <future>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>

namespace {

// The line state a device read back, and whether it could.
bool Got(const TDeviceResult<TDeviceControlBlock>& result, TDeviceControlBlock& state)
{
    state = result.Value;
    return result.Ok();
}

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
    std::unique_ptr<ISerialDevice> fDevice = std::move(fBackend.Open(fPty.DevicePath()).Value);
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
        const TDeviceResult<std::unique_ptr<ISerialDevice>> opened = fBackend.Open(c.Path);
        EXPECT_EQ(opened.Value, nullptr) << c.Path;
        EXPECT_EQ(opened.Status, TIoStatus::Failed) << c.Path;
        EXPECT_EQ(opened.Error, c.Error) << c.Path;
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
    ASSERT_TRUE(Got(fDevice->GetState(), state));
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
    ASSERT_TRUE(Got(fDevice->GetState(), back));
    EXPECT_EQ(back, state);

    const termios tio = SlaveTermios();
    EXPECT_TRUE(tio.c_cflag & CSTOPB);
    EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B115200));
}

TEST_F(PosixSerialDeviceTest, AnyBaudRateIsAccepted)
{
    ASSERT_TRUE(fDevice);
    TDeviceControlBlock state;
    ASSERT_TRUE(Got(fDevice->GetState(), state));
    state.BaudRate = 250000; // no Bxxx constant
    ASSERT_TRUE(fDevice->SetState(state));
    TDeviceControlBlock back;
    ASSERT_TRUE(Got(fDevice->GetState(), back));
    EXPECT_EQ(back.BaudRate, 250000u);
    state.BaudRate = 9600;
    ASSERT_TRUE(fDevice->SetState(state));
    ASSERT_TRUE(Got(fDevice->GetState(), back));
    EXPECT_EQ(back.BaudRate, 9600u);
}

TEST_F(PosixSerialDeviceTest, FlagsWordMapsToFlowControl)
{
    ASSERT_TRUE(fDevice);
    TDeviceControlBlock state;
    ASSERT_TRUE(Got(fDevice->GetState(), state));
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
    ASSERT_TRUE(Got(fDevice->GetState(), state));
    const TDeviceControlBlock before = state;
    state.ByteSize = 9;
    EXPECT_FALSE(fDevice->SetState(state));
    TDeviceControlBlock back;
    ASSERT_TRUE(Got(fDevice->GetState(), back));
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
    EXPECT_EQ(read.Value, 3u);

    const std::string out = "xyz";
    const TIoResult written = fDevice->Write(std::as_bytes(std::span(out.data(), out.size())));
    EXPECT_EQ(written.Value, 3u);
    EXPECT_EQ(fPty.Receive(3), "xyz");
    EXPECT_FALSE(fDevice->ModemStatus()); // pseudo-terminals have no modem lines
}

TEST_F(PosixSerialDeviceTest, ReadReportsALostDevice)
{
    ASSERT_TRUE(fDevice);
    fPty.CloseMaster();
    std::byte buffer[16];
    EXPECT_EQ(fDevice->Read(buffer).Status, TIoStatus::Failed);
}

TEST_F(PosixSerialDeviceTest, WaitSeesAHangUp)
{
    ASSERT_TRUE(fDevice);
    fPty.CloseMaster();
    const TWakeUpEvent wake;
    EXPECT_TRUE(fDevice->Wait(wake, false, 20000).Lost);
}

// Before the first SetState, the flags word says what the terminal does already.
TEST_F(PosixSerialDeviceTest, TheFlagsWordStartsFromTheTerminalsFlowControl)
{
    ASSERT_TRUE(fDevice);
    TDeviceControlBlock opened;
    ASSERT_TRUE(Got(fDevice->GetState(), opened));
    EXPECT_EQ(opened.Flags, DCB_fBinary); // opened raw: no flow control
    const struct
    {
        tcflag_t Input, Control;
        uint32_t Flags;
    } cases[] = {
        {IXON, 0, DCB_fBinary | DCB_fOutX},
        {IXOFF, 0, DCB_fBinary | DCB_fInX},
        {0, CRTSCTS, DCB_fBinary | DCB_fOutxCtsFlow | DCB_RtsControlHandshake},
        {0, 0, DCB_fBinary},
    };
    for (const auto& c : cases) {
        TPseudoTerminal terminal;
        termios tio{};
        ASSERT_EQ(::tcgetattr(terminal.Master(), &tio), 0);
        tio.c_iflag = (tio.c_iflag & ~(IXON | IXOFF)) | c.Input;
        tio.c_cflag = (tio.c_cflag & ~CRTSCTS) | c.Control;
        ASSERT_EQ(::tcsetattr(terminal.Master(), TCSANOW, &tio), 0);
        TPosixSerialDevice device(
            TFileDescriptor(::open(terminal.DevicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)));
        TDeviceControlBlock state;
        ASSERT_TRUE(Got(device.GetState(), state));
        EXPECT_EQ(state.Flags, c.Flags) << std::hex << c.Input << " " << c.Control;
    }
}

TEST_F(PosixSerialDeviceTest, WriteReportsALostDevice)
{
    ASSERT_TRUE(fDevice);
    fPty.HangUp();
    const std::string out = "after the end";
    EXPECT_EQ(fDevice->Write(std::as_bytes(std::span(out.data(), out.size()))).Status,
              TIoStatus::Failed);
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
    // An input purge leaves what was written on its way.
    const std::string out = "kept";
    ASSERT_EQ(fDevice->Write(std::as_bytes(std::span(out.data(), out.size()))).Value, 4u);
    EXPECT_TRUE(fDevice->Purge(PURGE_RXCLEAR));
    EXPECT_EQ(fPty.Receive(4), "kept");
    EXPECT_TRUE(fDevice->Purge(PURGE_TXCLEAR));
}

// The paths for real hardware, against a UART driver's answers on the same descriptor.
class UartDeviceTest : public PosixSerialDeviceTest
{
protected:
    int Descriptor() { return static_cast<TPosixSerialDevice&>(*fDevice).Descriptor(); }
    // Until the condition holds; false only after a generous bound, against hangs.
    static bool Eventually(const std::function<bool()>& condition)
    {
        const auto end = std::chrono::steady_clock::now() + pty_io::Patience;
        while (!condition()) {
            if (std::chrono::steady_clock::now() > end) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }

    TEmulatedUart fUart{Descriptor()};
};

TEST_F(UartDeviceTest, DtrAndRtsFollowTheFlagsWord)
{
    ASSERT_TRUE(fDevice);
    const struct
    {
        uint32_t Flags;
        int Before, After;
    } cases[] = {
        {DCB_fBinary, TIOCM_DTR | TIOCM_RTS, 0},
        {DCB_DtrControlEnable | DCB_RtsControlEnable, 0, TIOCM_DTR | TIOCM_RTS},
        {DCB_DtrControlHandshake, TIOCM_RTS, TIOCM_DTR},
        {DCB_RtsControlHandshake, TIOCM_DTR | TIOCM_RTS, TIOCM_RTS}, // the driver drives RTS
        {DCB_RtsControlToggle | DCB_DtrControlEnable, TIOCM_RTS, TIOCM_DTR},
        {DCB_DtrControlMask, TIOCM_DTR, TIOCM_DTR}, // no such DTR control: left alone
    };
    for (const auto& c : cases) {
        fUart.SetOutputLines(c.Before);
        TDeviceControlBlock state;
        ASSERT_TRUE(Got(fDevice->GetState(), state));
        state.Flags = c.Flags;
        ASSERT_TRUE(fDevice->SetState(state));
        EXPECT_EQ(fUart.OutputLines(), c.After) << std::hex << c.Flags;
    }
}

TEST_F(UartDeviceTest, ModemStatusNamesTheDevicesLines)
{
    ASSERT_TRUE(fDevice);
    const struct
    {
        int Lines;
        uint32_t Status;
    } cases[] = {
        {0, 0},
        {TIOCM_CTS, MS_CTS_ON},
        {TIOCM_DSR, MS_DSR_ON},
        {TIOCM_RI, MS_RING_ON},
        {TIOCM_CD, MS_RLSD_ON},
        {TIOCM_CTS | TIOCM_DSR | TIOCM_RI | TIOCM_CD,
         MS_CTS_ON | MS_DSR_ON | MS_RING_ON | MS_RLSD_ON},
    };
    fUart.SetOutputLines(TIOCM_DTR | TIOCM_RTS); // the program's own lines are not the status
    for (const auto& c : cases) {
        fUart.SetInputLines(c.Lines);
        EXPECT_EQ(fDevice->ModemStatus(), c.Status) << std::hex << c.Lines;
    }
}

TEST_F(UartDeviceTest, TransmitterAndErrorCountersAsTheDriverTells)
{
    ASSERT_TRUE(fDevice);
    for (bool empty : {true, false}) {
        fUart.SetTransmitterEmpty(empty);
        EXPECT_EQ(fDevice->TransmitterEmpty(), empty);
    }
    serial_icounter_struct counters{};
    counters.frame = 1;
    counters.overrun = 2;
    counters.parity = 3;
    counters.brk = 4;
    counters.buf_overrun = 5;
    fUart.SetCounters(counters);
    const TDeviceResult<TLineErrorCounters> seen = fDevice->ErrorCounters();
    ASSERT_TRUE(seen.Ok());
    EXPECT_EQ(seen->Frame, 1u);
    EXPECT_EQ(seen->Overrun, 2u);
    EXPECT_EQ(seen->Parity, 3u);
    EXPECT_EQ(seen->Break, 4u);
    EXPECT_EQ(seen->BufferOverrun, 5u);
}

TEST_F(UartDeviceTest, LowLatencyModeIsPutBackAsItWas)
{
    ASSERT_TRUE(fDevice);
    fUart.SetSerialFlags(ASYNC_SKIP_TEST);
    EXPECT_TRUE(fDevice->EnterLowLatency());
    EXPECT_EQ(fUart.SerialFlags(), ASYNC_SKIP_TEST | ASYNC_LOW_LATENCY);
    fDevice->LeaveLowLatency();
    EXPECT_EQ(fUart.SerialFlags(), ASYNC_SKIP_TEST);

    // A driver already in the mode is left as it is, then and after.
    fUart.SetSerialFlags(ASYNC_LOW_LATENCY);
    const int writes = fUart.Requests(TIOCSSERIAL);
    EXPECT_TRUE(fDevice->EnterLowLatency());
    fDevice->LeaveLowLatency();
    EXPECT_EQ(fUart.SerialFlags(), ASYNC_LOW_LATENCY);
    EXPECT_EQ(fUart.Requests(TIOCSSERIAL), writes);
}

TEST_F(UartDeviceTest, ModemWaitEndsOnAChangeAndWhenInterrupted)
{
    ASSERT_TRUE(fDevice);
    // A change since the status was read ends it at once.
    fUart.SetInputLines(TIOCM_CTS);
    EXPECT_TRUE(fDevice->WaitModemChange(MS_CTS_ON, 0));
    EXPECT_EQ(fUart.Requests(TIOCMIWAIT), 0);

    // A change of a watched line while it waits.
    auto changed = std::async(std::launch::async, [&] {
        return fDevice->WaitModemChange(MS_CTS_ON | MS_DSR_ON, MS_CTS_ON);
    });
    ASSERT_TRUE(Eventually([&] { return fUart.Waiting(); }));
    fUart.SetInputLines(TIOCM_CTS | TIOCM_DSR);
    EXPECT_TRUE(changed.get());

    // Closing interrupts a wait with no change coming; later waits end at once.
    auto interrupted = std::async(std::launch::async,
                                  [&] { return fDevice->WaitModemChange(MS_CTS_ON, MS_CTS_ON); });
    ASSERT_TRUE(Eventually([&] { return fUart.Waiting(); }));
    fDevice->InterruptModemWait();
    EXPECT_FALSE(interrupted.get());
    EXPECT_FALSE(fDevice->WaitModemChange(MS_CTS_ON, 0));
}

} // namespace
