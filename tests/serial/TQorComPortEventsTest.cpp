// Posted notifications, the handler guard, modem lines, line errors, a lost device, and
// closing while a hand-over is in progress.
#include "serial/SerialConstants.h"
#include "tests/serial/FakePortFixture.h"

#include <cerrno>
#include <stdexcept>

namespace {

using EventsTest = FakePortFixture;

TEST_F(EventsTest, ExceptionInHandlerGoesToOnBGExceptionAndDeliveryContinues)
{
    std::vector<std::string> caught;
    std::string received;
    Port.SetOnBGException(
        [&](TQorComPort&, const std::exception& e) { caught.emplace_back(e.what()); });
    Port.SetOnDataAvailable([&](TQorComPort& sender) {
        received += sender.ReadString();
        throw EQorComPort("Port not open");
    });
    Port.SetActive(true);
    Device.Receive("one");
    ASSERT_TRUE(MainThread.PumpUntil([&] { return received == "one"; }));
    Device.Receive("two");
    ASSERT_TRUE(MainThread.PumpUntil([&] { return received == "onetwo"; }));
    EXPECT_EQ(caught, (std::vector<std::string>{"Port not open", "Port not open"}));
}

TEST_F(EventsTest, ExceptionWithoutOnBGExceptionIsDropped)
{
    std::string received;
    Port.SetOnDataAvailable([&](TQorComPort& sender) {
        received += sender.ReadString();
        throw std::runtime_error("ignored");
    });
    Port.SetActive(true);
    Device.Receive("a");
    ASSERT_TRUE(MainThread.PumpUntil([&] { return received == "a"; }));
    Device.Receive("b");
    ASSERT_TRUE(MainThread.PumpUntil([&] { return received == "ab"; }));
}

TEST_F(EventsTest, ExceptionFromOnBGExceptionItselfIsDropped)
{
    int bgCalls = 0;
    Port.SetOnBGException([&](TQorComPort&, const std::exception&) {
        ++bgCalls;
        throw std::runtime_error("again");
    });
    std::string received;
    Port.SetOnDataAvailable([&](TQorComPort& sender) {
        received += sender.ReadString();
        throw std::runtime_error("first");
    });
    Port.SetActive(true);
    Device.Receive("a");
    ASSERT_TRUE(MainThread.PumpUntil([&] { return received == "a" && bgCalls == 1; }));
    Device.Receive("b");
    ASSERT_TRUE(MainThread.PumpUntil([&] { return received == "ab" && bgCalls == 2; }));
}

TEST_F(EventsTest, ForeignExceptionPassesButDoesNotStallTheThread)
{
    std::string received;
    Port.SetOnDataAvailable([&](TQorComPort& sender) {
        received += sender.ReadString();
        if (received == "a") throw 42; // not derived from std::exception
    });
    Port.SetActive(true);
    Device.Receive("a");
    EXPECT_THROW(MainThread.PumpUntil([&] { return received == "a"; }), int);
    Device.Receive("b");
    ASSERT_TRUE(MainThread.PumpUntil([&] { return received == "ab"; }));
}

TEST_F(EventsTest, DataSentFollowsAWrite)
{
    int sent = 0;
    Port.SetOnDataSent([&](TQorComPort&) { ++sent; });
    Port.SetActive(true);
    Port.WriteString("ping");
    ASSERT_TRUE(MainThread.PumpUntil([&] { return sent >= 1; }));
    EXPECT_EQ(Device.Written(), "ping");
}

TEST_F(EventsTest, CtsOnAtOpenIsReportedOnceWithoutEventCtsDsr)
{
    std::vector<bool> cts;
    int dsrCalls = 0;
    Port.SetOnCtsChanged([&](TQorComPort&, bool state) { cts.push_back(state); });
    Port.SetOnDsrChanged([&](TQorComPort&, bool) { ++dsrCalls; });
    RecordOffers();
    Device.SetModemStatus(MS_CTS_ON);
    Port.SetActive(true);
    Device.Receive("mark");
    ASSERT_TRUE(PumpUntilReceived("mark"));
    MainThread.RunPending();
    EXPECT_EQ(cts, std::vector<bool>{true});
    EXPECT_EQ(dsrCalls, 0); // DSR is off: not reported

    // Without EventCtsDsr later changes are not reported.
    Device.SetModemStatus(0);
    Device.Receive("mark2");
    ASSERT_TRUE(PumpUntilReceived("markmark2"));
    MainThread.RunPending();
    EXPECT_EQ(cts.size(), 1u);
}

TEST_F(EventsTest, LinesOffAtOpenAreNotReported)
{
    int calls = 0;
    Port.SetOnCtsChanged([&](TQorComPort&, bool) { ++calls; });
    Port.SetOnDsrChanged([&](TQorComPort&, bool) { ++calls; });
    RecordOffers();
    Device.SetModemStatus(MS_RING_ON);
    Port.SetActive(true);
    Device.Receive("m");
    ASSERT_TRUE(PumpUntilReceived("m"));
    MainThread.RunPending();
    EXPECT_EQ(calls, 0);
}

TEST_F(EventsTest, CtsAndDsrChangesWithEventCtsDsr)
{
    std::vector<std::pair<char, bool>> changes;
    Port.SetOnCtsChanged([&](TQorComPort&, bool state) { changes.emplace_back('C', state); });
    Port.SetOnDsrChanged([&](TQorComPort&, bool state) { changes.emplace_back('D', state); });
    Port.SetPortOptions({EventCtsDsr});
    Port.SetActive(true);

    Device.SetModemStatus(MS_CTS_ON);
    ASSERT_TRUE(MainThread.PumpUntil([&] { return changes.size() == 1; }));
    Device.SetModemStatus(MS_CTS_ON | MS_DSR_ON);
    ASSERT_TRUE(MainThread.PumpUntil([&] { return changes.size() == 2; }));
    Device.SetModemStatus(MS_DSR_ON);
    ASSERT_TRUE(MainThread.PumpUntil([&] { return changes.size() == 3; }));
    EXPECT_EQ(changes,
              (std::vector<std::pair<char, bool>>{{'C', true}, {'D', true}, {'C', false}}));
}

TEST_F(EventsTest, PortWithoutModemLinesStillWorks)
{
    Device.SetHasModemLines(false);
    Port.SetPortOptions({EventCtsDsr});
    RecordOffers();
    Port.SetActive(true);
    Device.Receive("ok");
    ASSERT_TRUE(PumpUntilReceived("ok"));
    Port.SetActive(false);
}

TEST_F(EventsTest, LineErrorsWithEventError)
{
    std::vector<uint32_t> errors;
    Port.SetOnError([&](TQorComPort&, uint32_t e) { errors.push_back(e); });
    Port.SetPortOptions({EventError});
    Port.SetActive(true);
    Device.AddLineErrors({.Frame = 1, .Overrun = 2});
    ASSERT_TRUE(MainThread.PumpUntil([&] { return errors.size() == 1; }));
    EXPECT_EQ(errors[0], CE_FRAME | CE_OVERRUN);
    Device.AddLineErrors({.Parity = 1, .Break = 1, .BufferOverrun = 1});
    ASSERT_TRUE(MainThread.PumpUntil([&] { return errors.size() == 2; }));
    EXPECT_EQ(errors[1], CE_RXPARITY | CE_BREAK | CE_RXOVER);
}

TEST_F(EventsTest, LineErrorsWithoutEventErrorAreClearedSilently)
{
    std::vector<uint32_t> errors;
    Port.SetOnError([&](TQorComPort&, uint32_t e) { errors.push_back(e); });
    RecordOffers();
    Port.SetActive(true);
    Device.AddLineErrors({.Frame = 1});
    Device.Receive("m");
    ASSERT_TRUE(PumpUntilReceived("m"));
    MainThread.RunPending();
    EXPECT_TRUE(errors.empty());
}

TEST_F(EventsTest, ReceivingAsksNothingOfTheDriverThatNobodyListensFor)
{
    RecordOffers();
    Port.SetActive(true);
    Device.Receive("a");
    ASSERT_TRUE(PumpUntilReceived("a"));
    const uint64_t afterStart = Device.StatusQueries(); // the lines on at open are reported once
    for (const char* chunk : {"b", "c", "d"})
        Device.Receive(chunk);
    ASSERT_TRUE(PumpUntilReceived("abcd"));
    EXPECT_EQ(Device.StatusQueries(), afterStart);
}

TEST_F(EventsTest, LostDeviceIsReportedOnceAndCloseCompletes)
{
    std::vector<uint32_t> errors;
    Port.SetOnError([&](TQorComPort&, uint32_t e) { errors.push_back(e); });
    RecordOffers();
    Port.SetActive(true);
    Device.Receive("last words");
    Device.HangUp();
    ASSERT_TRUE(MainThread.PumpUntil([&] { return !errors.empty(); }));
    EXPECT_EQ(errors, std::vector<uint32_t>{CE_DEVICE_LOST});
    EXPECT_EQ(AllReceived(), "last words"); // what arrived before is not lost
    EXPECT_TRUE(Port.DeviceLost());
    EXPECT_THROW(Port.WriteString("into the void"), EQorComPort); // never reported as sent
    Port.SetActive(false);
    EXPECT_FALSE(Device.IsOpen());
    MainThread.RunPending();
    EXPECT_EQ(errors.size(), 1u);
}

TEST_F(EventsTest, ThreadThatFailsReportsThePortLostOnceAndWhy)
{
    std::vector<uint32_t> errors;
    Port.SetOnError([&](TQorComPort&, uint32_t e) { errors.push_back(e); });
    RecordOffers();
    Port.SetActive(true);
    Device.ThrowInThread("no memory for the receive buffer");
    ASSERT_TRUE(MainThread.PumpUntil([&] { return !errors.empty(); }));
    EXPECT_EQ(errors, std::vector<uint32_t>{CE_DEVICE_LOST});
    EXPECT_EQ(Port.ThreadFailure(), "no memory for the receive buffer");
    EXPECT_THROW(Port.WriteString("x"), EQorComPort);
    Port.SetActive(false);
    MainThread.RunPending();
    EXPECT_EQ(errors.size(), 1u);
}

TEST_F(EventsTest, LowLatencyModeLastsWhileThePortIsOpen)
{
    Port.SetActive(true);
    EXPECT_TRUE(Device.LowLatency());
    Port.SetActive(false);
    EXPECT_FALSE(Device.LowLatency());
    // A driver without the mode opens as before.
    Device.SetHasLowLatency(false);
    Port.SetActive(true);
    EXPECT_TRUE(Port.Active());
    EXPECT_FALSE(Device.LowLatency());
}

TEST_F(EventsTest, OpenFailureKeepsTheSystemsReason)
{
    Port.SetDevicePath(2, "/dev/not-registered");
    try {
        Port.SetActive(true);
        FAIL() << "opened";
    } catch (const EQorComPort& e) {
        EXPECT_STREQ(e.what(), "Cannot open port '/dev/not-registered'");
        EXPECT_EQ(e.ErrorCode(), ENOENT);
    }
}

TEST_F(EventsTest, CloseServesAHandOverThatIsWaiting)
{
    RecordOffers();
    Port.SetActive(true);
    Device.Receive("pending");
    // The thread has asked for the hand-over; the main thread has not served it yet.
    ASSERT_TRUE(MainThread.WaitForQueued(1));
    Port.SetActive(false);
    EXPECT_EQ(AllReceived(), "pending");
    MainThread.RunPending(); // the queued request is stale now
    EXPECT_EQ(Offers.size(), 1u);
}

TEST_F(EventsTest, HandlerMayCloseThePort)
{
    std::string afterClose = "unset";
    Port.SetOnDataAvailable([&](TQorComPort& sender) {
        sender.SetActive(false);
        afterClose = sender.ReadString();
    });
    Port.SetActive(true);
    Device.Receive("bye");
    ASSERT_TRUE(MainThread.PumpUntil([&] { return !Port.Active(); }));
    EXPECT_EQ(afterClose, "");
    EXPECT_FALSE(Device.IsOpen());
    EXPECT_EQ(Port.RxCount(), 0);
}

TEST_F(EventsTest, HandlerServedDuringCloseMayCloseAgain)
{
    int calls = 0;
    Port.SetOnDataAvailable([&](TQorComPort& sender) {
        ++calls;
        sender.SetActive(false);
    });
    Port.SetActive(true);
    Device.Receive("x");
    ASSERT_TRUE(MainThread.WaitForQueued(1));
    Port.SetActive(false); // serves the hand-over, whose handler closes from inside
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(Port.Active());
    EXPECT_FALSE(Device.IsOpen());
}

TEST_F(EventsTest, QueuedNotificationsOutliveTheComponentSafely)
{
    int sent = 0;
    {
        TQorComPort port(MainThread, Backend);
        port.SetPort(2);
        port.SetOnDataSent([&](TQorComPort&) { ++sent; });
        port.SetActive(true);
        port.WriteString("x");
        ASSERT_TRUE(MainThread.WaitForQueued(1));
    }
    MainThread.RunPending(); // runs after the component is gone
    EXPECT_EQ(sent, 0);
}

TEST_F(EventsTest, QueuedNotificationsArriveAfterCloseWhileTheComponentLives)
{
    int sent = 0;
    Port.SetOnDataSent([&](TQorComPort&) { ++sent; });
    Port.SetActive(true);
    Port.WriteString("x");
    ASSERT_TRUE(MainThread.WaitForQueued(1));
    Port.SetActive(false);
    MainThread.RunPending();
    EXPECT_EQ(sent, 1);
}

TEST_F(EventsTest, HandlerMayReplaceItselfWhileRunning)
{
    std::string first;
    std::string second;
    Port.SetOnDataAvailable([&](TQorComPort& sender) {
        first += sender.ReadString();
        sender.SetOnDataAvailable([&](TQorComPort& s) { second += s.ReadString(); });
        first += "!"; // the replaced handler's captures must still be alive here
    });
    Port.SetActive(true);
    Device.Receive("a");
    ASSERT_TRUE(MainThread.PumpUntil([&] { return first == "a!"; }));
    Device.Receive("b");
    ASSERT_TRUE(MainThread.PumpUntil([&] { return second == "b"; }));
}

} // namespace
