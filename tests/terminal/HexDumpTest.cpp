#include "terminal/HexDump.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(HexDump, RowsFromTheStoreWithTheirOffsetHexAndText)
{
    TByteStore bytes(TByteStore::BlockSize * 4,
                     [] { return TSpillFile(TSpillFile::DefaultFolder()); });
    // Up to a block's end, then 16 bytes across it, then a short last row.
    bytes.Append(std::string(TByteStore::BlockSize - 8, 'x'));
    bytes.Append(std::string("Hello\r\n\0\x1b[0m\x80\xff\x7f~", 16));
    bytes.Append(" !0");
    EXPECT_EQ(HexRowCount(bytes), TByteStore::BlockSize / 16 + 1);
    const struct
    {
        std::uint64_t Row;
        std::string Shown;
    } cases[] = {
        {0, "0000000000  78 78 78 78 78 78 78 78  78 78 78 78 78 78 78 78  xxxxxxxxxxxxxxxx"},
        {TByteStore::BlockSize / 16 - 1, // the first block's last row, then the second's first
         "00000FFFF0  78 78 78 78 78 78 78 78  48 65 6C 6C 6F 0D 0A 00  xxxxxxxxHello..."},
        {TByteStore::BlockSize / 16,
         "0000100000  1B 5B 30 6D 80 FF 7F 7E  20 21 30                 .[0m...~ !0"},
        {TByteStore::BlockSize / 16 + 1, ""}, // past the end
    };
    for (const auto& c : cases)
        EXPECT_EQ(HexRow(bytes, c.Row), c.Shown) << c.Row;
    EXPECT_EQ(HexRow(bytes, 0).size(), HexRowWidth);
}

} // namespace
