#include "app/TerminalDecoder.h"

#include <gtest/gtest.h>

namespace {

QString DecodeAll(std::initializer_list<std::string_view> chunks)
{
    TTerminalDecoder decoder;
    QString text;
    for (std::string_view chunk : chunks)
        text += decoder.Decode(chunk);
    return text;
}

TEST(TerminalDecoder, EachLineEndConventionBreaksOnce)
{
    EXPECT_EQ(DecodeAll({"a\r\nb\nc\rd"}), "a\nb\nc\nd");
    EXPECT_EQ(DecodeAll({"a\r\r\nb"}), "a\n\nb"); // CR, then CR LF
    EXPECT_EQ(DecodeAll({"a\n\rb"}), "a\n\nb");   // LF then CR are two ends
    EXPECT_EQ(DecodeAll({"\n\n"}), "\n\n");
}

TEST(TerminalDecoder, CrAndLfSplitAcrossChunksAreOneLineEnd)
{
    EXPECT_EQ(DecodeAll({"menu\r", "\n>"}), "menu\n>");
    EXPECT_EQ(DecodeAll({"a\r", "", "b"}), "a\nb");
    // The pairing only joins neighbours: a byte between them ends it.
    EXPECT_EQ(DecodeAll({"a\r", "x\n"}), "a\nx\n");
}

TEST(TerminalDecoder, ControlBytesAreShownNotHidden)
{
    EXPECT_EQ(DecodeAll({"\tx"}), "\tx");
    EXPECT_EQ(DecodeAll({std::string_view("\0\x08\x1b\x7f", 4)}),
              QString::fromUtf16(u"\u2400\u2408\u241B\u2421"));
}

TEST(TerminalDecoder, HighBytesAreTheAnsiCodePage)
{
    EXPECT_EQ(DecodeAll({"caf\xe9 \x80 \xff"}), QString::fromUtf16(u"caf\u00e9 \u20ac \u00ff"));
    EXPECT_EQ(DecodeAll({"\x93ok\x94"}), QString::fromUtf16(u"\u201cok\u201d"));
    EXPECT_EQ(DecodeAll({"\x81\x9d"}), QString::fromUtf16(u"\uFFFD\uFFFD"));
}

TEST(TerminalDecoder, EveryOtherByteBecomesExactlyOneVisibleCharacter)
{
    for (int b = 0; b < 256; ++b) {
        if (b == '\r' || b == '\n') continue;
        const char byte = static_cast<char>(b);
        TTerminalDecoder decoder;
        const QString shown = decoder.Decode(std::string_view(&byte, 1));
        ASSERT_EQ(shown.size(), 1) << b;
        EXPECT_EQ(shown.at(0), TTerminalDecoder::DisplayChar(static_cast<unsigned char>(b)));
        if (b != '\t') {
            EXPECT_TRUE(shown.at(0).isPrint() || shown.at(0) == QChar(0xFFFD)) << b;
        }
    }
}

} // namespace

namespace {

TEST(TerminalDecoder, TypedTextGoesOutInTheCodePageItIsShownIn)
{
    const struct
    {
        const char16_t* Typed;
        std::string Sent;
    } cases[] = {
        {u"caf\u00e9 \u00ff", "caf\xe9 \xff"},
        {u"\u20ac5 \u201cok\u201d \u2122", "\x80"
                                           "5 \x93ok\x94 \x99"},
        {u"\u4e2d \U0001F600", "? ??"}, // not in the code page; a surrogate pair is two
    };
    for (const auto& c : cases)
        EXPECT_EQ(TTerminalDecoder::EncodeTyped(QString::fromUtf16(c.Typed)), c.Sent);
}

TEST(TerminalDecoder, ResetForgetsAChunkThatEndedInCr)
{
    TTerminalDecoder decoder;
    decoder.Decode("a\r");
    decoder.Reset();
    EXPECT_EQ(decoder.Decode("\nb"), "\nb");
}

} // namespace
