// Settings of the component and what of them reaches the (fake) port, when.
#include "serial/SerialConstants.h"
#include "tests/serial/FakePortFixture.h"

namespace {

using SettingsTest = FakePortFixture;

TEST_F(SettingsTest, ConstructorValues)
{
    TTestMainThread mainThread;
    TQorComPort port(mainThread);
    EXPECT_FALSE(port.Active());
    EXPECT_EQ(port.Port(), 0);
    EXPECT_EQ(port.Baudrate(), 9600);
    EXPECT_EQ(port.ByteSize(), 8);
    EXPECT_EQ(port.Parity(), ptNone);
    EXPECT_EQ(port.StopBits(), sbOne);
    EXPECT_EQ(port.LineEnd(), "\r\n");
    EXPECT_FALSE(port.LineMode());
    EXPECT_EQ(port.PortOptions(), TPortOptions{});
    EXPECT_EQ(port.RxBuffer(), 8192u);
    EXPECT_EQ(port.TxBuffer(), 8192u);
    EXPECT_EQ(port.RxThresholdAmount(), 0);
    EXPECT_FALSE(port.RxThresholdUse());
    EXPECT_EQ(port.Version(), "1.12");
    // Not the setter's rule: the constructor gives XOFF one half and XON three quarters.
    EXPECT_EQ(port.XoffLimit(), 4096u);
    EXPECT_EQ(port.XonLimit(), 6144u);
    EXPECT_EQ(port.FlowCtrl().DcbFlags(), 0x1011u);
    EXPECT_EQ(port.FlowCtrl().RxDtrControl(), dtrEnable);
    EXPECT_EQ(port.FlowCtrl().RxRtsControl(), rtsEnable);
    EXPECT_FALSE(port.FlowCtrl().XonXoff());
    EXPECT_FALSE(port.FlowCtrl().TxCtsFlow());
    EXPECT_FALSE(port.OnDataAvailable());
    EXPECT_EQ(port.RxCount(), 0);
}

TEST_F(SettingsTest, OpenWritesTheWholeLineStateOnce)
{
    fPort.SetBaudrate(115200);
    fPort.SetParity(ptEven);
    fPort.SetStopBits(sbTwo);
    fPort.SetByteSize(7);
    fPort.SetTxBuffer(1000);
    fPort.SetActive(true);

    const auto states = fDevice.StatesWritten();
    ASSERT_EQ(states.size(), 1u);
    EXPECT_EQ(states[0].BaudRate, 115200u);
    EXPECT_EQ(states[0].ByteSize, 7);
    EXPECT_EQ(states[0].Parity, 2);
    EXPECT_EQ(states[0].StopBits, 2);
    EXPECT_EQ(states[0].Flags, 0x1011u);
    EXPECT_EQ(states[0].XoffLim, 4096);
    EXPECT_EQ(states[0].XonLim, 6144);
    EXPECT_EQ(fDevice.RxQueueSize(), 8192u);
    EXPECT_EQ(fDevice.TxQueueSize(), 1000u);
    EXPECT_EQ(fDevice.EventMask(), EV_RXCHAR | EV_TXEMPTY);
}

TEST_F(SettingsTest, EventMaskFollowsPortOptions)
{
    const std::pair<TPortOptions, uint32_t> cases[] = {
        {TPortOptions{EventCtsDsr}, 0x1Du},
        {TPortOptions{EventError}, 0x85u},
        {TPortOptions{EventCtsDsr, EventError}, 0x9Du},
    };
    for (const auto& [options, mask] : cases) {
        fPort.SetPortOptions(options);
        fPort.SetActive(true);
        EXPECT_EQ(fDevice.EventMask(), mask);
        fPort.SetActive(false);
    }
}

TEST_F(SettingsTest, RxBufferSetterAssignsLimitsTheOtherWayRound)
{
    fPort.SetRxBuffer(4000);
    EXPECT_EQ(fPort.XoffLimit(), 3000u);
    EXPECT_EQ(fPort.XonLimit(), 2000u);
    fPort.SetActive(true);
    auto state = fDevice.State();
    EXPECT_EQ(state.XoffLim, 3000);
    EXPECT_EQ(state.XonLim, 2000);
    EXPECT_EQ(fDevice.RxQueueSize(), 4000u);

    // Applied at once while open; the queue size waits for the next Open.
    fPort.SetRxBuffer(8192);
    state = fDevice.State();
    EXPECT_EQ(state.XoffLim, 6144);
    EXPECT_EQ(state.XonLim, 4096);
    EXPECT_EQ(fDevice.RxQueueSize(), 4000u);
}

TEST_F(SettingsTest, OnlyTheLow16BitsOfTheLimitsReachThePort)
{
    fPort.SetRxBuffer(200000); // 150000 and 100000 do not fit
    fPort.SetActive(true);
    EXPECT_EQ(fDevice.State().XoffLim, 150000 & 0xFFFF);
    EXPECT_EQ(fDevice.State().XonLim, 100000 & 0xFFFF);
}

TEST_F(SettingsTest, SettingTheSameValueAgainDoesNotTouchThePort)
{
    fPort.SetActive(true);
    const size_t written = fDevice.StatesWritten().size();
    fPort.SetBaudrate(9600);
    fPort.SetParity(ptNone);
    fPort.SetStopBits(sbOne);
    fPort.SetRxBuffer(8192);
    fPort.FlowCtrl().SetRxDtrControl(dtrEnable);
    fPort.FlowCtrl().SetXonXoff(false);
    EXPECT_EQ(fDevice.StatesWritten().size(), written);
    // The limits were not recomputed by the setter's rule either.
    EXPECT_EQ(fPort.XoffLimit(), 4096u);
}

TEST_F(SettingsTest, LineSettingsApplyToTheOpenPortKeepingTheOtherFields)
{
    fPort.SetActive(true);
    fPort.SetBaudrate(57600);
    auto state = fDevice.State();
    EXPECT_EQ(state.BaudRate, 57600u);
    EXPECT_EQ(state.XoffLim, 4096);
    fPort.SetParity(ptMark);
    EXPECT_EQ(fDevice.State().Parity, 3);
    fPort.SetStopBits(sbOne_5);
    EXPECT_EQ(fDevice.State().StopBits, 1);
    EXPECT_EQ(fDevice.State().BaudRate, 57600u);
}

TEST_F(SettingsTest, SomeSettingsWaitForTheNextOpen)
{
    fPort.SetActive(true);
    const size_t written = fDevice.StatesWritten().size();
    fPort.SetByteSize(6);
    fPort.SetTxBuffer(100);
    fPort.SetPortOptions({EventError});
    EXPECT_EQ(fDevice.StatesWritten().size(), written);
    EXPECT_EQ(fDevice.EventMask(), EV_RXCHAR | EV_TXEMPTY);

    fPort.SetActive(false);
    fPort.SetActive(true);
    EXPECT_EQ(fDevice.State().ByteSize, 6);
    EXPECT_EQ(fDevice.TxQueueSize(), 100u);
    EXPECT_EQ(fDevice.EventMask(), EV_RXCHAR | EV_TXEMPTY | EV_ERR);
}

TEST_F(SettingsTest, SettingsWhileClosedOnlyStore)
{
    fPort.SetBaudrate(19200);
    fPort.FlowCtrl().SetXonXoff(true);
    EXPECT_TRUE(fDevice.StatesWritten().empty());
    fPort.SetActive(true);
    EXPECT_EQ(fDevice.State().BaudRate, 19200u);
    EXPECT_EQ(fDevice.State().Flags, 0x1311u);
}

TEST_F(SettingsTest, FlowControlBits)
{
    auto& flow = fPort.FlowCtrl();
    flow.SetXonXoff(true);
    EXPECT_EQ(flow.DcbFlags(), 0x1011u | 0x0100u | 0x0200u);
    flow.SetXonXoff(false);
    EXPECT_EQ(flow.DcbFlags(), 0x1011u);

    flow.SetRxRtsControl(rtsToggle);
    EXPECT_EQ(flow.DcbFlags() & 0x3000u, 0x3000u);
    flow.SetRxRtsControl(rtsHandshake);
    EXPECT_EQ(flow.DcbFlags() & 0x3000u, 0x2000u);
    flow.SetRxRtsControl(rtsDisable);
    EXPECT_EQ(flow.DcbFlags() & 0x3000u, 0u);

    flow.SetRxDtrControl(dtrHandshake);
    EXPECT_EQ(flow.DcbFlags() & 0x0030u, 0x0020u);
    flow.SetRxDtrControl(dtrDisable);
    EXPECT_EQ(flow.DcbFlags() & 0x0030u, 0u);

    flow.SetRxDsrSensivity(true);
    flow.SetTxContinueXoff(true);
    flow.SetTxCtsFlow(true);
    flow.SetTxDsrFlow(true);
    EXPECT_EQ(flow.DcbFlags(), 0x0001u | 0x0040u | 0x0080u | 0x0004u | 0x0008u);
    flow.SetTxDsrFlow(false);
    EXPECT_EQ(flow.DcbFlags() & 0x0008u, 0u);
    EXPECT_EQ(flow.DcbFlags() & DCB_fParity, 0u); // never set: parity is not checked
}

TEST_F(SettingsTest, FlowControlChangesReplaceTheFlagsWordOfTheOpenPort)
{
    fPort.SetActive(true);
    fPort.FlowCtrl().SetTxCtsFlow(true);
    EXPECT_EQ(fDevice.State().Flags, 0x1015u);
    EXPECT_EQ(fDevice.State().XonLim, 6144);
    fPort.FlowCtrl().SetRxRtsControl(rtsHandshake);
    EXPECT_EQ(fDevice.State().Flags, 0x2015u);
}

TEST_F(SettingsTest, VersionCannotBeChanged)
{
    fPort.SetVersion("2.0");
    EXPECT_EQ(fPort.Version(), "1.12");
}

TEST_F(SettingsTest, LineModeAndThresholdModeExcludeEachOther)
{
    fPort.SetRxThresholdUse(true);
    fPort.SetLineMode(true);
    EXPECT_TRUE(fPort.LineMode());
    EXPECT_FALSE(fPort.RxThresholdUse());
    fPort.SetRxThresholdUse(true);
    EXPECT_TRUE(fPort.RxThresholdUse());
    EXPECT_FALSE(fPort.LineMode());
    fPort.SetRxThresholdUse(false);
    EXPECT_FALSE(fPort.LineMode());
}

TEST_F(SettingsTest, ActivatingTwiceOpensOnce)
{
    fPort.SetActive(false); // closed already: nothing
    EXPECT_EQ(fDevice.OpenCount(), 0);
    fPort.SetActive(true);
    fPort.SetActive(true);
    EXPECT_EQ(fDevice.OpenCount(), 1);
    EXPECT_TRUE(fDevice.IsOpen());
    fPort.SetActive(false);
    EXPECT_FALSE(fDevice.IsOpen());
}

TEST_F(SettingsTest, DestroyingAnOpenComponentClosesThePort)
{
    {
        TQorComPort port(fMainThread, fBackend);
        port.SetPort(2);
        port.SetActive(true);
        EXPECT_TRUE(fDevice.IsOpen());
    }
    EXPECT_FALSE(fDevice.IsOpen());
}

TEST_F(SettingsTest, WritesReachThePortInOrder)
{
    fPort.SetActive(true);
    EXPECT_EQ(fPort.WriteString(""), 0);
    EXPECT_EQ(fDevice.Written(), "");
    EXPECT_EQ(fPort.WriteString("ab"), 2); // the fake takes everything at once
    const std::byte raw[] = {std::byte{0}, std::byte{0xFF}};
    EXPECT_EQ(fPort.Write(raw), 2);
    EXPECT_EQ(fDevice.Written(), std::string("ab\0\xFF", 4));
}

} // namespace
