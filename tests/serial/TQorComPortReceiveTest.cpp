// How received bytes are offered in plain, line and threshold mode.
#include "serial/SerialConstants.h"
#include "tests/serial/FakePortFixture.h"

namespace {

using PlainModeTest = FakePortFixture;

TEST_F(PlainModeTest, TenWaitingBytesMakeOneOffer)
{
    RecordOffers();
    Port.SetActive(true);
    Device.Receive("0123456789");
    ASSERT_TRUE(PumpUntilReceived("0123456789"));
    ASSERT_EQ(Offers.size(), 1u);
    EXPECT_EQ(Offers[0].RxCount, 10);
    EXPECT_EQ(Port.RxCount(), 0);

    // The next bytes make a new offer of their own: nothing of the first was offered twice.
    Device.Receive("X");
    ASSERT_TRUE(PumpUntilReceived("0123456789X"));
    ASSERT_EQ(Offers.size(), 2u);
    EXPECT_EQ(Offers[1].RxCount, 1);
}

TEST_F(PlainModeTest, HandlerThatReadsNothingIsCalledAgain)
{
    int calls = 0;
    std::string received;
    std::vector<int> counts;
    Port.SetOnDataAvailable([&](TQorComPort& sender) {
        counts.push_back(sender.RxCount());
        if (++calls >= 4) received += sender.ReadString();
    });
    Port.SetActive(true);
    Device.Receive("abc");
    ASSERT_TRUE(MainThread.PumpUntil([&] { return received == "abc"; }));
    EXPECT_EQ(calls, 4);
    EXPECT_EQ(counts, (std::vector<int>{3, 3, 3, 3}));
}

TEST_F(PlainModeTest, PartialReadsAreOfferedAgainUntilAllIsRead)
{
    RecordOffers(2);
    Port.SetActive(true);
    Device.Receive("abcde");
    ASSERT_TRUE(PumpUntilReceived("abcde"));
    ASSERT_EQ(Offers.size(), 3u);
    EXPECT_EQ(Offers[0].RxCount, 5);
    EXPECT_EQ(Offers[1].RxCount, 3);
    EXPECT_EQ(Offers[2].RxCount, 1);
}

TEST_F(PlainModeTest, WithoutHandlerBytesAreDiscarded)
{
    Port.SetActive(true);
    Device.Receive("lost");
    ASSERT_TRUE(MainThread.PumpUntil([&] { return Device.BytesWaiting() == 0; }));
    ASSERT_FALSE(Device.Purges().empty());
    EXPECT_EQ(Device.Purges().back(), PURGE_RXABORT | PURGE_RXCLEAR);

    RecordOffers();
    Device.Receive("kept");
    ASSERT_TRUE(PumpUntilReceived("kept"));
    EXPECT_EQ(Offers[0].RxCount, 4); // nothing of the discarded bytes is counted
}

TEST_F(PlainModeTest, ReadBeyondTheOfferTakesOnlyTheOffer)
{
    std::string got;
    Port.SetOnDataAvailable([&](TQorComPort& sender) {
        std::byte buffer[64];
        const int n = sender.Read(buffer);
        got.append(reinterpret_cast<const char*>(buffer), static_cast<size_t>(n));
        EXPECT_EQ(sender.Read(std::span<std::byte>()), 0);
    });
    Port.SetActive(true);
    Device.Receive("xyz");
    ASSERT_TRUE(MainThread.PumpUntil([&] { return got.size() >= 3; }));
    EXPECT_EQ(got, "xyz");
}

TEST_F(PlainModeTest, ManyArrivalsKeepOrderWithoutLossOrDuplication)
{
    RecordOffers();
    Port.SetActive(true);
    std::string expected;
    for (int i = 0; i < 500; ++i) {
        const std::string chunk = std::to_string(i) + ";";
        expected += chunk;
        Device.Receive(chunk);
        MainThread.RunPending();
    }
    ASSERT_TRUE(PumpUntilReceived(expected));
}

using LineModeTest = FakePortFixture;

TEST_F(LineModeTest, LineIsOfferedWhenItsEndArrives)
{
    Port.SetLineMode(true);
    RecordOffers();
    Port.SetActive(true);
    Device.Receive("ab");
    ASSERT_TRUE(MainThread.PumpUntil([&] { return Device.BytesWaiting() == 0; }));
    Device.Receive("\r\nc");
    ASSERT_TRUE(PumpUntilReceived("ab\r\n"));
    ASSERT_EQ(Offers.size(), 1u);
    EXPECT_EQ(Offers[0].RxCount, 4);

    // "c" waited for its line end.
    Device.Receive("\r\n");
    ASSERT_TRUE(PumpUntilReceived("ab\r\nc\r\n"));
    EXPECT_EQ(Offers.size(), 2u);
}

TEST_F(LineModeTest, LineEndSplitAcrossArrivalsIsFound)
{
    Port.SetLineMode(true);
    RecordOffers();
    Port.SetActive(true);
    Device.Receive("ab\r");
    // Wait until the thread has taken the first part into its buffer, so the two parts
    // really arrive separately.
    ASSERT_TRUE(MainThread.PumpUntil([&] { return Device.BytesWaiting() == 0; }));
    Device.Receive("\nx");
    ASSERT_TRUE(PumpUntilReceived("ab\r\n"));
    EXPECT_EQ(Offers[0].RxCount, 4);
}

TEST_F(LineModeTest, TwoLineEndsInARowMakeTwoOffers)
{
    Port.SetLineMode(true);
    RecordOffers();
    Port.SetActive(true);
    Device.Receive("x\r\n\r\n");
    ASSERT_TRUE(PumpUntilReceived("x\r\n\r\n"));
    ASSERT_EQ(Offers.size(), 2u);
    EXPECT_EQ(Offers[0].Data, "x\r\n");
    EXPECT_EQ(Offers[1].Data, "\r\n");
}

TEST_F(LineModeTest, LineReadInPiecesIsOfferedUntilFullyRead)
{
    Port.SetLineMode(true);
    RecordOffers(2);
    Port.SetActive(true);
    Device.Receive("abcde\r\nrest");
    ASSERT_TRUE(PumpUntilReceived("abcde\r\n"));
    std::vector<int> counts;
    for (const auto& offer : Offers)
        counts.push_back(offer.RxCount);
    EXPECT_EQ(counts, (std::vector<int>{7, 5, 3, 1}));
}

TEST_F(LineModeTest, CustomLineEndIsUsed)
{
    Port.SetLineMode(true);
    Port.SetLineEnd(">");
    RecordOffers();
    Port.SetActive(true);
    Device.Receive("a\r\nb>c");
    ASSERT_TRUE(PumpUntilReceived("a\r\nb>"));
    EXPECT_EQ(Offers.size(), 1u);
}

TEST_F(LineModeTest, EmptyLineEndOffersWhatArrived)
{
    Port.SetLineMode(true);
    Port.SetLineEnd("");
    RecordOffers();
    Port.SetActive(true);
    Device.Receive("abc");
    ASSERT_TRUE(PumpUntilReceived("abc"));
    Device.Receive("d");
    ASSERT_TRUE(PumpUntilReceived("abcd"));
}

TEST_F(LineModeTest, CloseHandsTheHandlerWhatIsStillOffered)
{
    Port.SetLineMode(true);
    UnbindAtFirstOffer();
    Port.SetActive(true);
    Device.Receive("line\r\n");
    ASSERT_TRUE(WaitForAbandonedOffer());
    EXPECT_EQ(Port.RxCount(), 6);

    std::string last;
    Port.SetOnDataAvailable([&](TQorComPort& sender) { last = sender.ReadString(); });
    Port.SetActive(false);
    EXPECT_EQ(last, "line\r\n");
    EXPECT_FALSE(Port.Active());
}

TEST_F(LineModeTest, ExceptionFromTheLastOfferKeepsThePortOpen)
{
    Port.SetLineMode(true);
    UnbindAtFirstOffer();
    Port.SetActive(true);
    Device.Receive("line\r\n");
    ASSERT_TRUE(WaitForAbandonedOffer());
    EXPECT_EQ(Port.RxCount(), 6);

    Port.SetOnDataAvailable([](TQorComPort&) { throw std::runtime_error("refused"); });
    EXPECT_THROW(Port.SetActive(false), std::runtime_error);
    EXPECT_TRUE(Port.Active());
    EXPECT_TRUE(Device.IsOpen());

    Port.SetOnDataAvailable([](TQorComPort& sender) { sender.ReadString(); });
    Port.SetActive(false);
    EXPECT_FALSE(Device.IsOpen());
}

TEST_F(LineModeTest, LeavingLineModeQueuesAnOfferOfWhatIsPending)
{
    Port.SetLineMode(true);
    UnbindAtFirstOffer();
    Port.SetActive(true);
    Device.Receive("ab\r\n");
    ASSERT_TRUE(WaitForAbandonedOffer());
    EXPECT_EQ(Port.RxCount(), 4);
    int calls = 0;
    Port.SetOnDataAvailable([&](TQorComPort&) { ++calls; });
    Port.SetLineMode(false);
    EXPECT_EQ(MainThread.RunPending(), 1);
    EXPECT_EQ(calls, 1);
}

TEST_F(LineModeTest, BufferedBytesAreNotLostWhenSwitchingToPlainMode)
{
    Port.SetLineMode(true);
    UnbindAtFirstOffer();
    Port.SetActive(true);
    Device.Receive("ab\r\ncd");
    ASSERT_TRUE(WaitForAbandonedOffer());
    EXPECT_EQ(Port.RxCount(), 4);

    RecordOffers();
    Port.SetLineMode(false); // queues an offer of the pending line
    MainThread.RunPending();
    ASSERT_EQ(Offers.size(), 1u);
    EXPECT_EQ(Offers[0].Data, "ab\r\n");

    // The unfinished line comes before what arrives next.
    Device.Receive("ef");
    ASSERT_TRUE(PumpUntilReceived("ab\r\ncdef"));
}

TEST_F(LineModeTest, BytesArrivingWithoutHandlerAreDiscardedBeforeBuffering)
{
    Port.SetLineMode(true);
    Port.SetActive(true);
    Device.Receive("gone\r\n");
    ASSERT_TRUE(MainThread.PumpUntil([&] { return Device.BytesWaiting() == 0; }));
    RecordOffers();
    Device.Receive("new\r\n");
    ASSERT_TRUE(PumpUntilReceived("new\r\n"));
}

using ThresholdModeTest = FakePortFixture;

TEST_F(ThresholdModeTest, OffersFixedChunksAndKeepsTheRest)
{
    Port.SetRxThresholdUse(true);
    Port.SetRxThresholdAmount(4);
    RecordOffers();
    Port.SetActive(true);
    Device.Receive("0123456789");
    ASSERT_TRUE(PumpUntilReceived("01234567"));
    ASSERT_EQ(Offers.size(), 2u);
    EXPECT_EQ(Offers[0].RxCount, 4);
    EXPECT_EQ(Offers[1].RxCount, 4);

    Device.Receive("ab");
    ASSERT_TRUE(PumpUntilReceived("0123456789ab"));
    ASSERT_EQ(Offers.size(), 3u);
    EXPECT_EQ(Offers[2].Data, "89ab");
}

TEST_F(ThresholdModeTest, AmountBelowOneOffersSingleBytes)
{
    Port.SetRxThresholdUse(true);
    Port.SetRxThresholdAmount(0);
    RecordOffers();
    Port.SetActive(true);
    Device.Receive("abc");
    ASSERT_TRUE(PumpUntilReceived("abc"));
    EXPECT_EQ(Offers.size(), 3u);
}

TEST_F(ThresholdModeTest, LeavingThresholdModeQueuesAnOffer)
{
    Port.SetRxThresholdUse(true);
    Port.SetRxThresholdAmount(3);
    UnbindAtFirstOffer();
    Port.SetActive(true);
    Device.Receive("abc");
    ASSERT_TRUE(WaitForAbandonedOffer());
    EXPECT_EQ(Port.RxCount(), 3);
    int calls = 0;
    Port.SetOnDataAvailable([&](TQorComPort&) { ++calls; });
    Port.SetRxThresholdUse(false);
    MainThread.RunPending();
    EXPECT_EQ(calls, 1);
}

} // namespace
