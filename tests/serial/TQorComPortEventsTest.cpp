// Posted notifications, the handler guard, modem lines, line errors, a lost device, and
// closing while a hand-over is in progress.
#include "serial/SerialConstants.h"
#include "tests/serial/FakePortFixture.h"

#include <cerrno>
#include <chrono>
#include <stdexcept>

namespace {

using EventsTest = FakePortFixture;

TEST_F(EventsTest, ExceptionInHandlerGoesToOnBGExceptionAndDeliveryContinues)
{
    std::vector<std::string> caught;
    std::string received;
    fPort.SetOnBGException(
        [&](TQorComPort&, const std::exception& e) { caught.emplace_back(e.what()); });
    fPort.SetOnDataAvailable([&](TQorComPort& sender) {
        received += sender.ReadString();
        throw EQorComPort("Port not open");
    });
    fPort.SetActive(true);
    fDevice.Receive("one");
    ASSERT_TRUE(fMainThread.PumpUntil([&] { return received == "one"; }));
    fDevice.Receive("two");
    ASSERT_TRUE(fMainThread.PumpUntil([&] { return received == "onetwo"; }));
    EXPECT_EQ(caught, (std::vector<std::string>{"Port not open", "Port not open"}));
}

TEST_F(EventsTest, ExceptionWithoutOnBGExceptionIsDropped)
{
    std::string received;
    fPort.SetOnDataAvailable([&](TQorComPort& sender) {
        received += sender.ReadString();
        throw std::runtime_error("ignored");
    });
    fPort.SetActive(true);
    fDevice.Receive("a");
    ASSERT_TRUE(fMainThread.PumpUntil([&] { return received == "a"; }));
    fDevice.Receive("b");
    ASSERT_TRUE(fMainThread.PumpUntil([&] { return received == "ab"; }));
}

TEST_F(EventsTest, ExceptionFromOnBGExceptionItselfIsDropped)
{
    int bgCalls = 0;
    fPort.SetOnBGException([&](TQorComPort&, const std::exception&) {
        ++bgCalls;
        throw std::runtime_error("again");
    });
    std::string received;
    fPort.SetOnDataAvailable([&](TQorComPort& sender) {
        received += sender.ReadString();
        throw std::runtime_error("first");
    });
    fPort.SetActive(true);
    fDevice.Receive("a");
    ASSERT_TRUE(fMainThread.PumpUntil([&] { return received == "a" && bgCalls == 1; }));
    fDevice.Receive("b");
    ASSERT_TRUE(fMainThread.PumpUntil([&] { return received == "ab" && bgCalls == 2; }));
}

TEST_F(EventsTest, ForeignExceptionPassesButDoesNotStallTheThread)
{
    std::string received;
    fPort.SetOnDataAvailable([&](TQorComPort& sender) {
        received += sender.ReadString();
        if (received == "a") throw 42; // not derived from std::exception
    });
    fPort.SetActive(true);
    fDevice.Receive("a");
    EXPECT_THROW(fMainThread.PumpUntil([&] { return received == "a"; }), int);
    fDevice.Receive("b");
    ASSERT_TRUE(fMainThread.PumpUntil([&] { return received == "ab"; }));
}

TEST_F(EventsTest, DataSentFollowsAWrite)
{
    int sent = 0;
    fPort.SetOnDataSent([&](TQorComPort&) { ++sent; });
    fPort.SetActive(true);
    fPort.WriteString("ping");
    ASSERT_TRUE(fMainThread.PumpUntil([&] { return sent >= 1; }));
    EXPECT_EQ(fDevice.Written(), "ping");
}

TEST_F(EventsTest, DataSentWaitsForTheDriversLastByte)
{
    int sent = 0;
    fPort.SetOnDataSent([&](TQorComPort&) { ++sent; });
    fPort.SetActive(true);
    fDevice.HoldOutput(true);
    fPort.WriteString("p");
    // The driver's empty checks back off to 50 ms: a quarter second is several of them.
    EXPECT_FALSE(fMainThread.PumpUntil([&] { return sent > 0; }, std::chrono::milliseconds(250)));
    fDevice.ReleaseOutput(1);
    ASSERT_TRUE(fMainThread.PumpUntil([&] { return sent >= 1; }));
    EXPECT_EQ(fDevice.Written(), "p");
}

TEST_F(EventsTest, CtsOnAtOpenIsReportedOnceWithoutEventCtsDsr)
{
    std::vector<bool> cts;
    int dsrCalls = 0;
    fPort.SetOnCtsChanged([&](TQorComPort&, bool state) { cts.push_back(state); });
    fPort.SetOnDsrChanged([&](TQorComPort&, bool) { ++dsrCalls; });
    RecordOffers();
    fDevice.SetModemStatus(MS_CTS_ON);
    fPort.SetActive(true);
    fDevice.Receive("mark");
    ASSERT_TRUE(PumpUntilReceived("mark"));
    fMainThread.RunPending();
    EXPECT_EQ(cts, std::vector<bool>{true});
    EXPECT_EQ(dsrCalls, 0); // DSR is off: not reported

    // Without EventCtsDsr later changes are not reported.
    fDevice.SetModemStatus(0);
    fDevice.Receive("mark2");
    ASSERT_TRUE(PumpUntilReceived("markmark2"));
    fMainThread.RunPending();
    EXPECT_EQ(cts.size(), 1u);
}

TEST_F(EventsTest, LinesOffAtOpenAreNotReported)
{
    int calls = 0;
    fPort.SetOnCtsChanged([&](TQorComPort&, bool) { ++calls; });
    fPort.SetOnDsrChanged([&](TQorComPort&, bool) { ++calls; });
    RecordOffers();
    fDevice.SetModemStatus(MS_RING_ON);
    fPort.SetActive(true);
    fDevice.Receive("m");
    ASSERT_TRUE(PumpUntilReceived("m"));
    fMainThread.RunPending();
    EXPECT_EQ(calls, 0);
}

TEST_F(EventsTest, CtsAndDsrChangesWithEventCtsDsr)
{
    std::vector<std::pair<char, bool>> changes;
    fPort.SetOnCtsChanged([&](TQorComPort&, bool state) { changes.emplace_back('C', state); });
    fPort.SetOnDsrChanged([&](TQorComPort&, bool state) { changes.emplace_back('D', state); });
    fPort.SetPortOptions({EventCtsDsr});
    fPort.SetActive(true);

    fDevice.SetModemStatus(MS_CTS_ON);
    ASSERT_TRUE(fMainThread.PumpUntil([&] { return changes.size() == 1; }));
    fDevice.SetModemStatus(MS_CTS_ON | MS_DSR_ON);
    ASSERT_TRUE(fMainThread.PumpUntil([&] { return changes.size() == 2; }));
    fDevice.SetModemStatus(MS_DSR_ON);
    ASSERT_TRUE(fMainThread.PumpUntil([&] { return changes.size() == 3; }));
    EXPECT_EQ(changes,
              (std::vector<std::pair<char, bool>>{{'C', true}, {'D', true}, {'C', false}}));
}

TEST_F(EventsTest, PortWithoutModemLinesStillWorks)
{
    fDevice.SetHasModemLines(false);
    fPort.SetPortOptions({EventCtsDsr});
    RecordOffers();
    fPort.SetActive(true);
    fDevice.Receive("ok");
    ASSERT_TRUE(PumpUntilReceived("ok"));
    fPort.SetActive(false);
}

TEST_F(EventsTest, LineErrorsWithEventError)
{
    std::vector<uint32_t> errors;
    fPort.SetOnError([&](TQorComPort&, uint32_t e) { errors.push_back(e); });
    fPort.SetPortOptions({EventError});
    fPort.SetActive(true);
    fDevice.AddLineErrors({.Frame = 1, .Overrun = 2});
    ASSERT_TRUE(fMainThread.PumpUntil([&] { return errors.size() == 1; }));
    EXPECT_EQ(errors[0], CE_FRAME | CE_OVERRUN);
    fDevice.AddLineErrors({.Parity = 1, .Break = 1, .BufferOverrun = 1});
    ASSERT_TRUE(fMainThread.PumpUntil([&] { return errors.size() == 2; }));
    EXPECT_EQ(errors[1], CE_RXPARITY | CE_BREAK | CE_RXOVER);
}

TEST_F(EventsTest, LineErrorsWithoutEventErrorAreClearedSilently)
{
    std::vector<uint32_t> errors;
    fPort.SetOnError([&](TQorComPort&, uint32_t e) { errors.push_back(e); });
    RecordOffers();
    fPort.SetActive(true);
    fDevice.AddLineErrors({.Frame = 1});
    fDevice.Receive("m");
    ASSERT_TRUE(PumpUntilReceived("m"));
    fMainThread.RunPending();
    EXPECT_TRUE(errors.empty());
}

TEST_F(EventsTest, ReceivingAsksNothingOfTheDriverThatNobodyListensFor)
{
    RecordOffers();
    fPort.SetActive(true);
    fDevice.Receive("a");
    ASSERT_TRUE(PumpUntilReceived("a"));
    const uint64_t afterStart = fDevice.StatusQueries(); // the lines on at open are reported once
    for (const char* chunk : {"b", "c", "d"})
        fDevice.Receive(chunk);
    ASSERT_TRUE(PumpUntilReceived("abcd"));
    EXPECT_EQ(fDevice.StatusQueries(), afterStart);
}

TEST_F(EventsTest, LostDeviceIsReportedOnceAndCloseCompletes)
{
    std::vector<uint32_t> errors;
    fPort.SetOnError([&](TQorComPort&, uint32_t e) { errors.push_back(e); });
    RecordOffers();
    fPort.SetActive(true);
    fDevice.Receive("last words");
    fDevice.HangUp();
    ASSERT_TRUE(fMainThread.PumpUntil([&] { return !errors.empty(); }));
    EXPECT_EQ(errors, std::vector<uint32_t>{CE_DEVICE_LOST});
    EXPECT_EQ(AllReceived(), "last words"); // what arrived before is not lost
    EXPECT_TRUE(fPort.DeviceLost());
    EXPECT_THROW(fPort.WriteString("into the void"), EQorComPort); // never reported as sent
    fPort.SetActive(false);
    EXPECT_FALSE(fDevice.IsOpen());
    fMainThread.RunPending();
    EXPECT_EQ(errors.size(), 1u);
}

TEST_F(EventsTest, ThreadThatFailsReportsThePortLostOnceAndWhy)
{
    std::vector<uint32_t> errors;
    fPort.SetOnError([&](TQorComPort&, uint32_t e) { errors.push_back(e); });
    RecordOffers();
    fPort.SetActive(true);
    fDevice.ThrowInThread("no memory for the receive buffer");
    ASSERT_TRUE(fMainThread.PumpUntil([&] { return !errors.empty(); }));
    EXPECT_EQ(errors, std::vector<uint32_t>{CE_DEVICE_LOST});
    EXPECT_EQ(fPort.ThreadFailure(), "no memory for the receive buffer");
    EXPECT_THROW(fPort.WriteString("x"), EQorComPort);
    fPort.SetActive(false);
    fMainThread.RunPending();
    EXPECT_EQ(errors.size(), 1u);
}

TEST_F(EventsTest, LowLatencyModeLastsWhileThePortIsOpen)
{
    fPort.SetActive(true);
    EXPECT_TRUE(fDevice.LowLatency());
    fPort.SetActive(false);
    EXPECT_FALSE(fDevice.LowLatency());
    // A driver without the mode opens as before.
    fDevice.SetHasLowLatency(false);
    fPort.SetActive(true);
    EXPECT_TRUE(fPort.Active());
    EXPECT_FALSE(fDevice.LowLatency());
}

TEST_F(EventsTest, AComponentDestroyedWhileOpenClosesThePort)
{
    {
        TQorComPort port(fMainThread, fBackend);
        port.SetPort(2);
        port.SetActive(true);
        ASSERT_TRUE(fDevice.IsOpen());
    }
    EXPECT_FALSE(fDevice.IsOpen());
    EXPECT_FALSE(fDevice.LowLatency());
}

TEST_F(EventsTest, OutputPendingCountsWhatHasNotReachedTheLine)
{
    EXPECT_EQ(fPort.OutputPending(), 0u); // closed
    fPort.SetActive(true);
    fDevice.HoldOutput(true);
    fPort.WriteString("abcdef");
    EXPECT_EQ(fPort.OutputPending(), 6u);
    fDevice.ReleaseOutput(4);
    EXPECT_EQ(fPort.OutputPending(), 2u);
    fPort.PurgeTx();
    EXPECT_EQ(fPort.OutputPending(), 0u);
    fPort.SetActive(false);
    EXPECT_EQ(fPort.OutputPending(), 0u);
}

TEST_F(EventsTest, OpenFailureKeepsTheSystemsReason)
{
    fPort.SetDevicePath(2, "/dev/not-registered");
    try {
        fPort.SetActive(true);
        FAIL() << "opened";
    } catch (const EQorComPort& e) {
        EXPECT_STREQ(e.what(), "Cannot open port '/dev/not-registered'");
        EXPECT_EQ(e.ErrorCode(), ENOENT);
    }
}

TEST_F(EventsTest, CloseServesAHandOverThatIsWaiting)
{
    RecordOffers();
    fPort.SetActive(true);
    fDevice.Receive("pending");
    // The thread has asked for the hand-over; the main thread has not served it yet.
    ASSERT_TRUE(fMainThread.WaitForQueued(1));
    fPort.SetActive(false);
    EXPECT_EQ(AllReceived(), "pending");
    fMainThread.RunPending(); // the queued request is stale now
    EXPECT_EQ(fOffers.size(), 1u);
}

TEST_F(EventsTest, HandlerMayCloseThePort)
{
    std::string afterClose = "unset";
    fPort.SetOnDataAvailable([&](TQorComPort& sender) {
        sender.SetActive(false);
        afterClose = sender.ReadString();
    });
    fPort.SetActive(true);
    fDevice.Receive("bye");
    ASSERT_TRUE(fMainThread.PumpUntil([&] { return !fPort.Active(); }));
    EXPECT_EQ(afterClose, "");
    EXPECT_FALSE(fDevice.IsOpen());
    EXPECT_EQ(fPort.RxCount(), 0);
}

TEST_F(EventsTest, HandlerServedDuringCloseMayCloseAgain)
{
    int calls = 0;
    fPort.SetOnDataAvailable([&](TQorComPort& sender) {
        ++calls;
        sender.SetActive(false);
    });
    fPort.SetActive(true);
    fDevice.Receive("x");
    ASSERT_TRUE(fMainThread.WaitForQueued(1));
    fPort.SetActive(false); // serves the hand-over, whose handler closes from inside
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(fPort.Active());
    EXPECT_FALSE(fDevice.IsOpen());
}

TEST_F(EventsTest, QueuedNotificationsOutliveTheComponentSafely)
{
    int sent = 0;
    {
        TQorComPort port(fMainThread, fBackend);
        port.SetPort(2);
        port.SetOnDataSent([&](TQorComPort&) { ++sent; });
        port.SetActive(true);
        port.WriteString("x");
        ASSERT_TRUE(fMainThread.WaitForQueued(1));
    }
    fMainThread.RunPending(); // runs after the component is gone
    EXPECT_EQ(sent, 0);
}

TEST_F(EventsTest, QueuedNotificationsArriveAfterCloseWhileTheComponentLives)
{
    int sent = 0;
    fPort.SetOnDataSent([&](TQorComPort&) { ++sent; });
    fPort.SetActive(true);
    fPort.WriteString("x");
    ASSERT_TRUE(fMainThread.WaitForQueued(1));
    fPort.SetActive(false);
    fMainThread.RunPending();
    EXPECT_EQ(sent, 1);
}

TEST_F(EventsTest, HandlerMayReplaceItselfWhileRunning)
{
    std::string first;
    std::string second;
    fPort.SetOnDataAvailable([&](TQorComPort& sender) {
        first += sender.ReadString();
        sender.SetOnDataAvailable([&](TQorComPort& s) { second += s.ReadString(); });
        first += "!"; // the replaced handler's captures must still be alive here
    });
    fPort.SetActive(true);
    fDevice.Receive("a");
    ASSERT_TRUE(fMainThread.PumpUntil([&] { return first == "a!"; }));
    fDevice.Receive("b");
    ASSERT_TRUE(fMainThread.PumpUntil([&] { return second == "b"; }));
}

} // namespace
