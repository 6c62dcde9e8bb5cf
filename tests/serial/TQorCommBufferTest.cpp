// The receive buffer of line and threshold mode on its own.
#include "serial/TQorCommBuffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

namespace {

void Put(TQorCommBuffer& buffer, std::string_view bytes)
{
    buffer.Store(bytes.size(), [&](std::span<std::byte> free) {
        std::memcpy(free.data(), bytes.data(), bytes.size());
        return bytes.size();
    });
}

std::string Take(TQorCommBuffer& buffer, size_t count)
{
    std::string out(count, '\0');
    out.resize(buffer.Read(std::as_writable_bytes(std::span(out.data(), out.size()))));
    return out;
}

TEST(TQorCommBufferTest, MatchLineEndComparesEveryByte)
{
    const std::string data = "ab\r\nc";
    const auto bytes = std::as_bytes(std::span(data.data(), data.size()));
    EXPECT_TRUE(TQorCommBuffer::MatchLineEnd(bytes, 2, "\r\n"));
    EXPECT_FALSE(TQorCommBuffer::MatchLineEnd(bytes, 1, "\r\n"));
    EXPECT_FALSE(TQorCommBuffer::MatchLineEnd(bytes, 3, "\n\r"));
    EXPECT_TRUE(TQorCommBuffer::MatchLineEnd(bytes, 0, ""));
    EXPECT_FALSE(TQorCommBuffer::MatchLineEnd(bytes, 0, "AB")); // case matters
}

TEST(TQorCommBufferTest, FindLineResumesWhereTheSearchStopped)
{
    TQorCommBuffer buffer;
    Put(buffer, "ab\r");
    EXPECT_FALSE(buffer.FindLine("\r\n"));
    EXPECT_EQ(buffer.ScanPos(), 2u); // fewer than two bytes were left from here
    Put(buffer, "\ncd");
    const auto line = buffer.FindLine("\r\n");
    ASSERT_TRUE(line);
    EXPECT_EQ(*line, 4u);
    EXPECT_EQ(Take(buffer, *line), "ab\r\n");
    EXPECT_FALSE(buffer.FindLine("\r\n"));
    EXPECT_EQ(buffer.Unread(), 2u);
}

TEST(TQorCommBufferTest, ReadingEverythingReturnsThePositionsToTheStart)
{
    TQorCommBuffer buffer;
    Put(buffer, "x\r\n");
    ASSERT_TRUE(buffer.FindLine("\r\n"));
    EXPECT_EQ(Take(buffer, 3), "x\r\n");
    EXPECT_EQ(buffer.ReadPos(), 0u);
    EXPECT_EQ(buffer.WritePos(), 0u);
    EXPECT_EQ(buffer.ScanPos(), 0u);
    EXPECT_TRUE(buffer.Empty());
}

TEST(TQorCommBufferTest, PartialReadsKeepTheRestInOrder)
{
    TQorCommBuffer buffer;
    Put(buffer, "hello world");
    EXPECT_EQ(Take(buffer, 5), "hello");
    EXPECT_EQ(buffer.ReadPos(), 5u);
    EXPECT_EQ(Take(buffer, 100), " world");
    EXPECT_EQ(Take(buffer, 1), "");
}

TEST(TQorCommBufferTest, GrowingMovesUnreadBytesToTheFrontFirst)
{
    TQorCommBuffer buffer;
    Put(buffer, std::string(100, 'a') + "tail");
    EXPECT_EQ(Take(buffer, 100), std::string(100, 'a'));
    const size_t capacity = buffer.Capacity();
    Put(buffer, std::string(90, 'b'));
    // Room was made by moving "tail" to the front rather than by growing.
    EXPECT_EQ(buffer.Capacity(), capacity);
    EXPECT_EQ(buffer.ReadPos(), 0u);
    EXPECT_EQ(Take(buffer, 200), "tail" + std::string(90, 'b'));
}

TEST(TQorCommBufferTest, ScanPositionSurvivesCompaction)
{
    TQorCommBuffer buffer;
    Put(buffer, "l1\r\npartial");
    ASSERT_TRUE(buffer.FindLine("\r\n"));
    EXPECT_EQ(Take(buffer, 4), "l1\r\n");
    EXPECT_FALSE(buffer.FindLine("\r\n"));
    Put(buffer, std::string(50, 'z') + "\r\n"); // forces a move to the front
    const auto line = buffer.FindLine("\r\n");
    ASSERT_TRUE(line);
    EXPECT_EQ(Take(buffer, *line), "partial" + std::string(50, 'z') + "\r\n");
}

TEST(TQorCommBufferTest, EmptyLineEndTakesEverythingAsOneLine)
{
    TQorCommBuffer buffer;
    Put(buffer, "abc");
    const auto line = buffer.FindLine("");
    ASSERT_TRUE(line);
    EXPECT_EQ(*line, 3u);
    EXPECT_FALSE(buffer.FindLine("")); // nothing new: no endless empty lines
}

TEST(TQorCommBufferTest, RandomArrivalsAndReadsYieldExactlyTheLinesOfTheStream)
{
    std::mt19937 random(12345);
    for (const std::string lineEnd : {"\r\n", "\n", ">", "END"}) {
        // A stream over a small alphabet, so line ends and their prefixes occur often.
        const std::string alphabet = "ab\r\n>EDN";
        std::string stream;
        for (int i = 0; i < 20000; ++i)
            stream += alphabet[random() % alphabet.size()];

        TQorCommBuffer buffer;
        std::string offered;
        size_t fed = 0;
        while (fed < stream.size()) {
            const size_t chunk = std::min<size_t>(1 + random() % 40, stream.size() - fed);
            Put(buffer, std::string_view(stream).substr(fed, chunk));
            fed += chunk;
            while (const auto line = buffer.FindLine(lineEnd)) {
                // Read the line in random pieces, as a handler might.
                std::string got;
                while (got.size() < *line)
                    got += Take(buffer, std::min<size_t>(1 + random() % 5, *line - got.size()));
                ASSERT_GE(got.size(), lineEnd.size());
                EXPECT_EQ(got.substr(got.size() - lineEnd.size()), lineEnd);
                // The first line end in it is the one at its end.
                EXPECT_EQ(got.find(lineEnd), got.size() - lineEnd.size());
                offered += got;
            }
        }
        // Everything up to the last line end was offered, in order, and nothing else.
        const size_t last = stream.rfind(lineEnd);
        ASSERT_NE(last, std::string::npos);
        EXPECT_EQ(offered, stream.substr(0, last + lineEnd.size())) << lineEnd;
        EXPECT_EQ(buffer.Unread(), stream.size() - offered.size());
        // The buffer did not grow with the stream: it holds one burst and one partial line.
        EXPECT_LT(buffer.Capacity(), 2000u);
    }
}

} // namespace
