#include "firmware/SRecord.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<uint8_t> Bytes(std::string_view text)
{
    return {text.begin(), text.end()};
}

// The parser's complaint about a line, or "(accepted)".
std::string ParseError(std::string_view line)
{
    try {
        ParseSRecord(line);
    } catch (const EInOutError& error) {
        return error.what();
    }
    return "(accepted)";
}

} // namespace

// Records from a well-known published example, written by another tool.
TEST(SRecordParse, AcceptsPublishedExampleRecords)
{
    const TSRecord header = ParseSRecord("S00F000068656C6C6F202020202000003C");
    EXPECT_EQ(header.Type, 0);
    EXPECT_EQ(header.Data, Bytes(std::string_view("hello     \0\0", 12)));

    const TSRecord data = ParseSRecord("S111003848656C6C6F20776F726C642E0A0042");
    EXPECT_EQ(data.Type, 1);
    EXPECT_EQ(data.Address, 0x0038u);
    EXPECT_EQ(data.Data, Bytes(std::string_view("Hello world.\n\0", 14)));

    const TSRecord longer =
        ParseSRecord("S11F001C4BFFFFE5398000007D83637880010014382100107C0803A64E800020E9");
    EXPECT_EQ(longer.Address, 0x001Cu);
    ASSERT_EQ(longer.Data.size(), 0x1Fu - 3u);
    EXPECT_EQ(longer.Data.front(), 0x4B);
    EXPECT_EQ(longer.Data.back(), 0x20);

    const TSRecord count = ParseSRecord("S5030003F9");
    EXPECT_EQ(count.Type, 5);
    EXPECT_EQ(count.Address, 3u);
    EXPECT_TRUE(count.Data.empty());

    EXPECT_TRUE(IsSRecordTermination(ParseSRecord("S9030000FC").Type));
}

TEST(SRecordParse, ToleratesLineEndsBlanksAndLowerCaseHex)
{
    EXPECT_EQ(ParseSRecord("S9030000FC\r\n").Type, 9);
    EXPECT_EQ(ParseSRecord("S9030000FC \t\r").Type, 9);
    EXPECT_EQ(ParseSRecord("S111003848656c6c6f20776f726c642e0a0042").Data,
              Bytes(std::string_view("Hello world.\n\0", 14)));
}

TEST(SRecordParse, RejectsMalformedRecordsWithAReason)
{
    EXPECT_EQ(ParseError(""), "Record does not start with S");
    EXPECT_EQ(ParseError("X9030000FC"), "Record does not start with S");
    EXPECT_EQ(ParseError("SX030000FC"), "Missing record type");
    EXPECT_EQ(ParseError("S4030000FC"), "Unknown record type S4");
    EXPECT_EQ(ParseError("S9030000F"), "Odd number of hex digits");
    EXPECT_EQ(ParseError("S90300G0FC"), "Bad hex digit");
    EXPECT_EQ(ParseError("S9"), "Missing byte count");
    EXPECT_EQ(ParseError("S9040000FC"), "Byte count 4 does not match the 3 bytes that follow");
    EXPECT_EQ(ParseError("S9020000FC"), "Byte count 2 does not match the 3 bytes that follow");
    EXPECT_EQ(ParseError("S9030000FD"), "Checksum mismatch (expected FC, found FD)");
    EXPECT_EQ(ParseError("S30201FC"), "Record too short for its type");
    // The type digit is outside the checksum, so only the data rule catches this one.
    EXPECT_EQ(ParseError(FormatSRecord({1, 0, {0xAA}}).replace(1, 1, "9")),
              "Record type S9 carries no data");
    EXPECT_EQ(ParseError(FormatSRecord({3, 0xFFFFFFFF, {1, 2}})),
              "Data runs past the end of the address space");
    EXPECT_EQ(ParseError(FormatSRecord({3, 0xFFFFFFFF, {1}})), "(accepted)");
    // The longest a byte count can say, and one byte more.
    const std::string longest = FormatSRecord({1, 0, std::vector<uint8_t>(252)});
    EXPECT_EQ(ParseError(longest), "(accepted)");
    EXPECT_EQ(ParseError(longest + "00"), "Record too long");
}

TEST(SRecordFormat, RoundTripsEveryTypeAtItsWidestAddress)
{
    const std::vector<uint8_t> data = {0x00, 0x7F, 0x80, 0xFF};
    for (const int type : {0, 1, 2, 3, 5, 6, 7, 8, 9}) {
        const std::size_t width = SRecordAddressSize(type);
        ASSERT_GT(width, 0u) << type;
        const uint32_t address = width == 4 ? 0xFEDCBA98u : (1u << (8 * width)) - 2u;
        const bool carriesData = type <= 3;
        const TSRecord original{type, address, carriesData ? data : std::vector<uint8_t>{}};
        const std::string text = FormatSRecord(original);
        EXPECT_EQ(text.size(), 2 + 2 * (1 + width + original.Data.size() + 1)) << text;
        const TSRecord parsed = ParseSRecord(text);
        EXPECT_EQ(parsed.Type, type);
        EXPECT_EQ(parsed.Address, address) << text;
        EXPECT_EQ(parsed.Data, original.Data) << text;
    }
    EXPECT_EQ(FormatSRecord({9, 0, {}}), "S9030000FC");
    EXPECT_EQ(FormatSRecord({5, 3, {}}), "S5030003F9");
}

TEST(SRecordFormat, RefusesRecordsThatDoNotFitTheirType)
{
    EXPECT_THROW(FormatSRecord({1, 0x10000, {}}), EInOutError);
    EXPECT_THROW(FormatSRecord({2, 0x1000000, {}}), EInOutError);
    EXPECT_THROW(FormatSRecord({4, 0, {}}), EInOutError);
    EXPECT_THROW(FormatSRecord({7, 0, {1}}), EInOutError);
    EXPECT_THROW(FormatSRecord({3, 0, std::vector<uint8_t>(251)}), EInOutError);
    EXPECT_NO_THROW(FormatSRecord({3, 0, std::vector<uint8_t>(250)}));
}
