#include "firmware/SRecord.h"

#include <cstdio>

namespace {

constexpr std::size_t MaxByteCount = 255;

std::string Hex2(unsigned value)
{
    char text[3];
    std::snprintf(text, sizeof text, "%02X", value & 0xFFu);
    return text;
}

bool CarriesData(int type)
{
    return type >= 0 && type <= 3;
}

} // namespace

int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::size_t SRecordAddressSize(int type)
{
    switch (type) {
    case 0:
    case 1:
    case 5:
    case 9:
        return 2;
    case 2:
    case 6:
    case 8:
        return 3;
    case 3:
    case 7:
        return 4;
    default:
        return 0;
    }
}

bool IsSRecordData(int type)
{
    return type >= 1 && type <= 3;
}

bool IsSRecordTermination(int type)
{
    return type >= 7 && type <= 9;
}

TSRecord ParseSRecord(std::string_view line)
{
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n' || line.back() == ' ' ||
                             line.back() == '\t'))
        line.remove_suffix(1);

    if (line.empty() || line[0] != 'S') throw EInOutError(0, "Record does not start with S");
    if (line.size() < 2 || line[1] < '0' || line[1] > '9')
        throw EInOutError(0, "Missing record type");
    TSRecord record;
    record.Type = line[1] - '0';
    const std::size_t addressSize = SRecordAddressSize(record.Type);
    if (addressSize == 0)
        throw EInOutError(0, "Unknown record type S" + std::to_string(record.Type));

    const std::string_view hex = line.substr(2);
    if (hex.size() % 2 != 0) throw EInOutError(0, "Odd number of hex digits");
    if (hex.size() > 2 * (MaxByteCount + 1)) throw EInOutError(0, "Record too long");
    std::vector<uint8_t> bytes;
    bytes.reserve(hex.size() / 2);
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = HexDigitValue(hex[i]);
        const int low = HexDigitValue(hex[i + 1]);
        if (high < 0 || low < 0) throw EInOutError(0, "Bad hex digit");
        bytes.push_back(static_cast<uint8_t>(high * 16 + low));
    }
    if (bytes.empty()) throw EInOutError(0, "Missing byte count");

    const std::size_t count = bytes[0];
    if (count != bytes.size() - 1)
        throw EInOutError(0, "Byte count " + std::to_string(count) + " does not match the " +
                                 std::to_string(bytes.size() - 1) + " bytes that follow");
    if (count < addressSize + 1) throw EInOutError(0, "Record too short for its type");

    unsigned sum = 0;
    for (std::size_t i = 0; i + 1 < bytes.size(); ++i)
        sum += bytes[i];
    const unsigned expected = ~sum & 0xFFu;
    if (bytes.back() != expected)
        throw EInOutError(0, "Checksum mismatch (expected " + Hex2(expected) + ", found " +
                                 Hex2(bytes.back()) + ")");

    for (std::size_t i = 0; i < addressSize; ++i)
        record.Address = (record.Address << 8) | bytes[1 + i];
    record.Data.assign(bytes.begin() + 1 + static_cast<std::ptrdiff_t>(addressSize),
                       bytes.end() - 1);
    if (!CarriesData(record.Type) && !record.Data.empty())
        throw EInOutError(0, "Record type S" + std::to_string(record.Type) + " carries no data");
    if (static_cast<uint64_t>(record.Address) + record.Data.size() > (uint64_t{1} << 32))
        throw EInOutError(0, "Data runs past the end of the address space");
    return record;
}

std::string FormatSRecord(const TSRecord& record)
{
    const std::size_t addressSize = SRecordAddressSize(record.Type);
    if (addressSize == 0)
        throw EInOutError(0, "Unknown record type S" + std::to_string(record.Type));
    if (addressSize < 4 && record.Address >> (8 * addressSize) != 0)
        throw EInOutError(0, "Address too wide for record type S" + std::to_string(record.Type));
    if (!CarriesData(record.Type) && !record.Data.empty())
        throw EInOutError(0, "Record type S" + std::to_string(record.Type) + " carries no data");
    const std::size_t count = addressSize + record.Data.size() + 1;
    if (count > MaxByteCount) throw EInOutError(0, "Too much data for one record");

    std::string text = "S" + std::to_string(record.Type) + Hex2(static_cast<unsigned>(count));
    text.reserve(2 + 2 * (count + 1));
    unsigned sum = static_cast<unsigned>(count);
    for (std::size_t i = addressSize; i-- > 0;) {
        const unsigned byte = (record.Address >> (8 * i)) & 0xFFu;
        sum += byte;
        text += Hex2(byte);
    }
    for (uint8_t byte : record.Data) {
        sum += byte;
        text += Hex2(byte);
    }
    text += Hex2(~sum);
    return text;
}
