// How received bytes are offered in plain, line and threshold mode.
#include "serial/SerialConstants.h"
#include "tests/serial/FakePortFixture.h"

namespace {

using PlainModeTest = FakePortFixture;

TEST_F(PlainModeTest, TenWaitingBytesMakeOneOffer)
{
    RecordOffers();
    fPort.SetActive(true);
    fDevice.Receive("0123456789");
    ASSERT_TRUE(PumpUntilReceived("0123456789"));
    ASSERT_EQ(fOffers.size(), 1u);
    EXPECT_EQ(fOffers[0].RxCount, 10);
    EXPECT_EQ(fPort.RxCount(), 0);

    // The next bytes make a new offer of their own: nothing of the first was offered twice.
    fDevice.Receive("X");
    ASSERT_TRUE(PumpUntilReceived("0123456789X"));
    ASSERT_EQ(fOffers.size(), 2u);
    EXPECT_EQ(fOffers[1].RxCount, 1);
}

TEST_F(PlainModeTest, HandlerThatReadsNothingIsCalledAgain)
{
    int calls = 0;
    std::string received;
    std::vector<int> counts;
    fPort.SetOnDataAvailable([&](TQorComPort& sender) {
        counts.push_back(sender.RxCount());
        if (++calls >= 4) received += sender.ReadString();
    });
    fPort.SetActive(true);
    fDevice.Receive("abc");
    ASSERT_TRUE(fMainThread.PumpUntil([&] { return received == "abc"; }));
    EXPECT_EQ(calls, 4);
    EXPECT_EQ(counts, (std::vector<int>{3, 3, 3, 3}));
}

TEST_F(PlainModeTest, PartialReadsAreOfferedAgainUntilAllIsRead)
{
    RecordOffers(2);
    fPort.SetActive(true);
    fDevice.Receive("abcde");
    ASSERT_TRUE(PumpUntilReceived("abcde"));
    ASSERT_EQ(fOffers.size(), 3u);
    EXPECT_EQ(fOffers[0].RxCount, 5);
    EXPECT_EQ(fOffers[1].RxCount, 3);
    EXPECT_EQ(fOffers[2].RxCount, 1);
}

TEST_F(PlainModeTest, WithoutHandlerBytesAreDiscarded)
{
    fPort.SetActive(true);
    fDevice.Receive("lost");
    ASSERT_TRUE(fMainThread.PumpUntil([&] { return fDevice.BytesWaiting() == 0; }));
    ASSERT_FALSE(fDevice.Purges().empty());
    EXPECT_EQ(fDevice.Purges().back(), PURGE_RXABORT | PURGE_RXCLEAR);

    RecordOffers();
    fDevice.Receive("kept");
    ASSERT_TRUE(PumpUntilReceived("kept"));
    EXPECT_EQ(fOffers[0].RxCount, 4); // nothing of the discarded bytes is counted
}

TEST_F(PlainModeTest, ReadBeyondTheOfferTakesOnlyTheOffer)
{
    std::string got;
    fPort.SetOnDataAvailable([&](TQorComPort& sender) {
        std::byte buffer[64];
        const int n = sender.Read(buffer);
        got.append(reinterpret_cast<const char*>(buffer), static_cast<size_t>(n));
        EXPECT_EQ(sender.Read(std::span<std::byte>()), 0);
    });
    fPort.SetActive(true);
    fDevice.Receive("xyz");
    ASSERT_TRUE(fMainThread.PumpUntil([&] { return got.size() >= 3; }));
    EXPECT_EQ(got, "xyz");
}

TEST_F(PlainModeTest, ManyArrivalsKeepOrderWithoutLossOrDuplication)
{
    RecordOffers();
    fPort.SetActive(true);
    std::string expected;
    for (int i = 0; i < 500; ++i) {
        const std::string chunk = std::to_string(i) + ";";
        expected += chunk;
        fDevice.Receive(chunk);
        fMainThread.RunPending();
    }
    ASSERT_TRUE(PumpUntilReceived(expected));
}

using LineModeTest = FakePortFixture;

TEST_F(LineModeTest, LineIsOfferedWhenItsEndArrives)
{
    fPort.SetLineMode(true);
    RecordOffers();
    fPort.SetActive(true);
    fDevice.Receive("ab");
    ASSERT_TRUE(fMainThread.PumpUntil([&] { return fDevice.BytesWaiting() == 0; }));
    fDevice.Receive("\r\nc");
    ASSERT_TRUE(PumpUntilReceived("ab\r\n"));
    ASSERT_EQ(fOffers.size(), 1u);
    EXPECT_EQ(fOffers[0].RxCount, 4);

    // "c" waited for its line end.
    fDevice.Receive("\r\n");
    ASSERT_TRUE(PumpUntilReceived("ab\r\nc\r\n"));
    EXPECT_EQ(fOffers.size(), 2u);
}

TEST_F(LineModeTest, LineEndSplitAcrossArrivalsIsFound)
{
    fPort.SetLineMode(true);
    RecordOffers();
    fPort.SetActive(true);
    fDevice.Receive("ab\r");
    // Wait until the thread has taken the first part into its buffer, so the two parts
    // really arrive separately.
    ASSERT_TRUE(fMainThread.PumpUntil([&] { return fDevice.BytesWaiting() == 0; }));
    fDevice.Receive("\nx");
    ASSERT_TRUE(PumpUntilReceived("ab\r\n"));
    EXPECT_EQ(fOffers[0].RxCount, 4);
}

TEST_F(LineModeTest, TwoLineEndsInARowMakeTwoOffers)
{
    fPort.SetLineMode(true);
    RecordOffers();
    fPort.SetActive(true);
    fDevice.Receive("x\r\n\r\n");
    ASSERT_TRUE(PumpUntilReceived("x\r\n\r\n"));
    ASSERT_EQ(fOffers.size(), 2u);
    EXPECT_EQ(fOffers[0].Data, "x\r\n");
    EXPECT_EQ(fOffers[1].Data, "\r\n");
}

TEST_F(LineModeTest, LineReadInPiecesIsOfferedUntilFullyRead)
{
    fPort.SetLineMode(true);
    RecordOffers(2);
    fPort.SetActive(true);
    fDevice.Receive("abcde\r\nrest");
    ASSERT_TRUE(PumpUntilReceived("abcde\r\n"));
    std::vector<int> counts;
    for (const auto& offer : fOffers)
        counts.push_back(offer.RxCount);
    EXPECT_EQ(counts, (std::vector<int>{7, 5, 3, 1}));
}

TEST_F(LineModeTest, CustomLineEndIsUsed)
{
    fPort.SetLineMode(true);
    fPort.SetLineEnd(">");
    RecordOffers();
    fPort.SetActive(true);
    fDevice.Receive("a\r\nb>c");
    ASSERT_TRUE(PumpUntilReceived("a\r\nb>"));
    EXPECT_EQ(fOffers.size(), 1u);
}

TEST_F(LineModeTest, EmptyLineEndOffersWhatArrived)
{
    fPort.SetLineMode(true);
    fPort.SetLineEnd("");
    RecordOffers();
    fPort.SetActive(true);
    fDevice.Receive("abc");
    ASSERT_TRUE(PumpUntilReceived("abc"));
    fDevice.Receive("d");
    ASSERT_TRUE(PumpUntilReceived("abcd"));
}

TEST_F(LineModeTest, CloseHandsTheHandlerWhatIsStillOffered)
{
    fPort.SetLineMode(true);
    UnbindAtFirstOffer();
    fPort.SetActive(true);
    fDevice.Receive("line\r\n");
    ASSERT_TRUE(WaitForAbandonedOffer());
    EXPECT_EQ(fPort.RxCount(), 6);

    std::string last;
    fPort.SetOnDataAvailable([&](TQorComPort& sender) { last = sender.ReadString(); });
    fPort.SetActive(false);
    EXPECT_EQ(last, "line\r\n");
    EXPECT_FALSE(fPort.Active());
}

TEST_F(LineModeTest, ExceptionFromTheLastOfferKeepsThePortOpen)
{
    fPort.SetLineMode(true);
    UnbindAtFirstOffer();
    fPort.SetActive(true);
    fDevice.Receive("line\r\n");
    ASSERT_TRUE(WaitForAbandonedOffer());
    EXPECT_EQ(fPort.RxCount(), 6);

    fPort.SetOnDataAvailable([](TQorComPort&) { throw std::runtime_error("refused"); });
    EXPECT_THROW(fPort.SetActive(false), std::runtime_error);
    EXPECT_TRUE(fPort.Active());
    EXPECT_TRUE(fDevice.IsOpen());

    fPort.SetOnDataAvailable([](TQorComPort& sender) { sender.ReadString(); });
    fPort.SetActive(false);
    EXPECT_FALSE(fDevice.IsOpen());
}

TEST_F(LineModeTest, LeavingLineModeQueuesAnOfferOfWhatIsPending)
{
    fPort.SetLineMode(true);
    UnbindAtFirstOffer();
    fPort.SetActive(true);
    fDevice.Receive("ab\r\n");
    ASSERT_TRUE(WaitForAbandonedOffer());
    EXPECT_EQ(fPort.RxCount(), 4);
    int calls = 0;
    fPort.SetOnDataAvailable([&](TQorComPort&) { ++calls; });
    fPort.SetLineMode(false);
    EXPECT_EQ(fMainThread.RunPending(), 1);
    EXPECT_EQ(calls, 1);

    // One byte left is offered too.
    std::byte three[3];
    ASSERT_EQ(fPort.Read(three), 3);
    fPort.SetLineMode(true);
    fPort.SetLineMode(false);
    EXPECT_EQ(fMainThread.RunPending(), 1);
    EXPECT_EQ(calls, 2);

    // Nothing left, nothing offered.
    ASSERT_EQ(fPort.Read(three), 1);
    fPort.SetLineMode(true);
    fPort.SetLineMode(false);
    EXPECT_EQ(fMainThread.RunPending(), 0);
    EXPECT_EQ(calls, 2);
}

TEST_F(LineModeTest, BufferedBytesAreNotLostWhenSwitchingToPlainMode)
{
    fPort.SetLineMode(true);
    UnbindAtFirstOffer();
    fPort.SetActive(true);
    fDevice.Receive("ab\r\ncd");
    ASSERT_TRUE(WaitForAbandonedOffer());
    EXPECT_EQ(fPort.RxCount(), 4);

    RecordOffers();
    fPort.SetLineMode(false); // queues an offer of the pending line
    fMainThread.RunPending();
    ASSERT_EQ(fOffers.size(), 1u);
    EXPECT_EQ(fOffers[0].Data, "ab\r\n");

    // The unfinished line comes before what arrives next.
    fDevice.Receive("ef");
    ASSERT_TRUE(PumpUntilReceived("ab\r\ncdef"));
}

TEST_F(LineModeTest, BytesArrivingWithoutHandlerAreDiscardedBeforeBuffering)
{
    fPort.SetLineMode(true);
    fPort.SetActive(true);
    fDevice.Receive("gone\r\n");
    ASSERT_TRUE(fMainThread.PumpUntil([&] { return fDevice.BytesWaiting() == 0; }));
    RecordOffers();
    fDevice.Receive("new\r\n");
    ASSERT_TRUE(PumpUntilReceived("new\r\n"));
}

using ThresholdModeTest = FakePortFixture;

TEST_F(ThresholdModeTest, OffersFixedChunksAndKeepsTheRest)
{
    fPort.SetRxThresholdUse(true);
    fPort.SetRxThresholdAmount(4);
    RecordOffers();
    fPort.SetActive(true);
    fDevice.Receive("0123456789");
    ASSERT_TRUE(PumpUntilReceived("01234567"));
    ASSERT_EQ(fOffers.size(), 2u);
    EXPECT_EQ(fOffers[0].RxCount, 4);
    EXPECT_EQ(fOffers[1].RxCount, 4);

    fDevice.Receive("ab");
    ASSERT_TRUE(PumpUntilReceived("0123456789ab"));
    ASSERT_EQ(fOffers.size(), 3u);
    EXPECT_EQ(fOffers[2].Data, "89ab");
}

TEST_F(ThresholdModeTest, AmountBelowOneOffersSingleBytes)
{
    fPort.SetRxThresholdUse(true);
    fPort.SetRxThresholdAmount(0);
    RecordOffers();
    fPort.SetActive(true);
    fDevice.Receive("abc");
    ASSERT_TRUE(PumpUntilReceived("abc"));
    EXPECT_EQ(fOffers.size(), 3u);
}

TEST_F(ThresholdModeTest, LeavingThresholdModeQueuesAnOffer)
{
    fPort.SetRxThresholdUse(true);
    fPort.SetRxThresholdAmount(3);
    UnbindAtFirstOffer();
    fPort.SetActive(true);
    fDevice.Receive("abc");
    ASSERT_TRUE(WaitForAbandonedOffer());
    EXPECT_EQ(fPort.RxCount(), 3);
    int calls = 0;
    fPort.SetOnDataAvailable([&](TQorComPort&) { ++calls; });
    fPort.SetRxThresholdUse(false);
    fMainThread.RunPending();
    EXPECT_EQ(calls, 1);
}

} // namespace
