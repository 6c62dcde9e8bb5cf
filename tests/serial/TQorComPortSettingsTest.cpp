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
    Port.SetBaudrate(115200);
    Port.SetParity(ptEven);
    Port.SetStopBits(sbTwo);
    Port.SetByteSize(7);
    Port.SetTxBuffer(1000);
    Port.SetActive(true);

    const auto states = Device.StatesWritten();
    ASSERT_EQ(states.size(), 1u);
    EXPECT_EQ(states[0].BaudRate, 115200u);
    EXPECT_EQ(states[0].ByteSize, 7);
    EXPECT_EQ(states[0].Parity, 2);
    EXPECT_EQ(states[0].StopBits, 2);
    EXPECT_EQ(states[0].Flags, 0x1011u);
    EXPECT_EQ(states[0].XoffLim, 4096);
    EXPECT_EQ(states[0].XonLim, 6144);
    EXPECT_EQ(Device.RxQueueSize(), 8192u);
    EXPECT_EQ(Device.TxQueueSize(), 1000u);
    EXPECT_EQ(Device.EventMask(), EV_RXCHAR | EV_TXEMPTY);
}

TEST_F(SettingsTest, EventMaskFollowsPortOptions)
{
    const std::pair<TPortOptions, uint32_t> cases[] = {
        {TPortOptions{EventCtsDsr}, 0x1Du},
        {TPortOptions{EventError}, 0x85u},
        {TPortOptions{EventCtsDsr, EventError}, 0x9Du},
    };
    for (const auto& [options, mask] : cases) {
        Port.SetPortOptions(options);
        Port.SetActive(true);
        EXPECT_EQ(Device.EventMask(), mask);
        Port.SetActive(false);
    }
}

TEST_F(SettingsTest, RxBufferSetterAssignsLimitsTheOtherWayRound)
{
    Port.SetRxBuffer(4000);
    EXPECT_EQ(Port.XoffLimit(), 3000u);
    EXPECT_EQ(Port.XonLimit(), 2000u);
    Port.SetActive(true);
    auto state = Device.State();
    EXPECT_EQ(state.XoffLim, 3000);
    EXPECT_EQ(state.XonLim, 2000);
    EXPECT_EQ(Device.RxQueueSize(), 4000u);

    // Applied at once while open; the queue size waits for the next Open.
    Port.SetRxBuffer(8192);
    state = Device.State();
    EXPECT_EQ(state.XoffLim, 6144);
    EXPECT_EQ(state.XonLim, 4096);
    EXPECT_EQ(Device.RxQueueSize(), 4000u);
}

TEST_F(SettingsTest, OnlyTheLow16BitsOfTheLimitsReachThePort)
{
    Port.SetRxBuffer(200000); // 150000 and 100000 do not fit
    Port.SetActive(true);
    EXPECT_EQ(Device.State().XoffLim, 150000 & 0xFFFF);
    EXPECT_EQ(Device.State().XonLim, 100000 & 0xFFFF);
}

TEST_F(SettingsTest, SettingTheSameValueAgainDoesNotTouchThePort)
{
    Port.SetActive(true);
    const size_t written = Device.StatesWritten().size();
    Port.SetBaudrate(9600);
    Port.SetParity(ptNone);
    Port.SetStopBits(sbOne);
    Port.SetRxBuffer(8192);
    Port.FlowCtrl().SetRxDtrControl(dtrEnable);
    Port.FlowCtrl().SetXonXoff(false);
    EXPECT_EQ(Device.StatesWritten().size(), written);
    // The limits were not recomputed by the setter's rule either.
    EXPECT_EQ(Port.XoffLimit(), 4096u);
}

TEST_F(SettingsTest, LineSettingsApplyToTheOpenPortKeepingTheOtherFields)
{
    Port.SetActive(true);
    Port.SetBaudrate(57600);
    auto state = Device.State();
    EXPECT_EQ(state.BaudRate, 57600u);
    EXPECT_EQ(state.XoffLim, 4096);
    Port.SetParity(ptMark);
    EXPECT_EQ(Device.State().Parity, 3);
    Port.SetStopBits(sbOne_5);
    EXPECT_EQ(Device.State().StopBits, 1);
    EXPECT_EQ(Device.State().BaudRate, 57600u);
}

TEST_F(SettingsTest, SomeSettingsWaitForTheNextOpen)
{
    Port.SetActive(true);
    const size_t written = Device.StatesWritten().size();
    Port.SetByteSize(6);
    Port.SetTxBuffer(100);
    Port.SetPortOptions({EventError});
    EXPECT_EQ(Device.StatesWritten().size(), written);
    EXPECT_EQ(Device.EventMask(), EV_RXCHAR | EV_TXEMPTY);

    Port.SetActive(false);
    Port.SetActive(true);
    EXPECT_EQ(Device.State().ByteSize, 6);
    EXPECT_EQ(Device.TxQueueSize(), 100u);
    EXPECT_EQ(Device.EventMask(), EV_RXCHAR | EV_TXEMPTY | EV_ERR);
}

TEST_F(SettingsTest, SettingsWhileClosedOnlyStore)
{
    Port.SetBaudrate(19200);
    Port.FlowCtrl().SetXonXoff(true);
    EXPECT_TRUE(Device.StatesWritten().empty());
    Port.SetActive(true);
    EXPECT_EQ(Device.State().BaudRate, 19200u);
    EXPECT_EQ(Device.State().Flags, 0x1311u);
}

TEST_F(SettingsTest, FlowControlBits)
{
    auto& flow = Port.FlowCtrl();
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
    Port.SetActive(true);
    Port.FlowCtrl().SetTxCtsFlow(true);
    EXPECT_EQ(Device.State().Flags, 0x1015u);
    EXPECT_EQ(Device.State().XonLim, 6144);
    Port.FlowCtrl().SetRxRtsControl(rtsHandshake);
    EXPECT_EQ(Device.State().Flags, 0x2015u);
}

TEST_F(SettingsTest, VersionCannotBeChanged)
{
    Port.SetVersion("2.0");
    EXPECT_EQ(Port.Version(), "1.12");
}

TEST_F(SettingsTest, LineModeAndThresholdModeExcludeEachOther)
{
    Port.SetRxThresholdUse(true);
    Port.SetLineMode(true);
    EXPECT_TRUE(Port.LineMode());
    EXPECT_FALSE(Port.RxThresholdUse());
    Port.SetRxThresholdUse(true);
    EXPECT_TRUE(Port.RxThresholdUse());
    EXPECT_FALSE(Port.LineMode());
    Port.SetRxThresholdUse(false);
    EXPECT_FALSE(Port.LineMode());
}

TEST_F(SettingsTest, ActivatingTwiceOpensOnce)
{
    Port.SetActive(false); // closed already: nothing
    EXPECT_EQ(Device.OpenCount(), 0);
    Port.SetActive(true);
    Port.SetActive(true);
    EXPECT_EQ(Device.OpenCount(), 1);
    EXPECT_TRUE(Device.IsOpen());
    Port.SetActive(false);
    EXPECT_FALSE(Device.IsOpen());
}

TEST_F(SettingsTest, DestroyingAnOpenComponentClosesThePort)
{
    {
        TQorComPort port(MainThread, Backend);
        port.SetPort(2);
        port.SetActive(true);
        EXPECT_TRUE(Device.IsOpen());
    }
    EXPECT_FALSE(Device.IsOpen());
}

TEST_F(SettingsTest, WritesReachThePortInOrder)
{
    Port.SetActive(true);
    EXPECT_EQ(Port.WriteString(""), 0);
    EXPECT_EQ(Device.Written(), "");
    EXPECT_EQ(Port.WriteString("ab"), 2); // the fake takes everything at once
    const std::byte raw[] = {std::byte{0}, std::byte{0xFF}};
    EXPECT_EQ(Port.Write(raw), 2);
    EXPECT_EQ(Device.Written(), std::string("ab\0\xFF", 4));
}

} // namespace
