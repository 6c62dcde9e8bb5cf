#include "app/TerminalDecoder.h"
#include "terminal/TTerminalText.h"

#include <gtest/gtest.h>

namespace {

QString DecodeAll(std::initializer_list<std::string_view> chunks)
{
    QString text;
    for (std::string_view chunk : chunks)
        for (const char byte : chunk)
            text += TTerminalDecoder::DisplayChar(static_cast<unsigned char>(byte));
    return text;
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
        if (b == '\r' || b == '\n' || b == '\b') continue;
        const char byte = static_cast<char>(b);
        TTerminalText text;
        text.AppendReceived(std::string_view(&byte, 1));
        const std::string kept = text.Line(0);
        ASSERT_EQ(kept.size(), 1u) << b;
        const QChar shown = TTerminalDecoder::StoredChar(static_cast<unsigned char>(kept[0]));
        EXPECT_EQ(shown, TTerminalDecoder::DisplayChar(static_cast<unsigned char>(b)));
        if (b != '\t') {
            EXPECT_TRUE(shown.isPrint() || shown == QChar(0xFFFD)) << b;
        }
    }
}

// The transfer's display and the window's own lines come back as text; every character the
// terminal can show must survive the way back into its bytes.
TEST(TerminalDecoder, ShownTextGoesBackIntoTheSameCharacters)
{
    for (int b = 0; b < 256; ++b) {
        if (b == '\n') continue;
        const QChar shown = TTerminalDecoder::StoredChar(static_cast<unsigned char>(b));
        const std::string back = TTerminalDecoder::EncodeShown(QString(shown));
        ASSERT_EQ(back.size(), 1u) << b;
        EXPECT_EQ(TTerminalDecoder::StoredChar(static_cast<unsigned char>(back[0])), shown) << b;
    }
    EXPECT_EQ(TTerminalDecoder::EncodeShown(QString::fromUtf16(u"a\nb\u4e2d")), "a\nb?");
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

} // namespace
