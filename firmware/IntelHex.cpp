#include "firmware/IntelHex.h"

#include "i18n/EInOutError.h"

#include <array>
#include <cstdio>

namespace {

constexpr std::size_t MaxRecordBytes = 255 + 5; // count, address (2), type, data, checksum

// 0..15 for a hex digit, 0xFF otherwise.
constexpr std::array<std::uint8_t, 256> HexDigits = [] {
    std::array<std::uint8_t, 256> table{};
    table.fill(0xFF);
    for (int c = 0; c < 10; ++c)
        table['0' + c] = static_cast<std::uint8_t>(c);
    for (int c = 0; c < 6; ++c) {
        table['A' + c] = static_cast<std::uint8_t>(10 + c);
        table['a' + c] = static_cast<std::uint8_t>(10 + c);
    }
    return table;
}();

std::string Hex2(unsigned value)
{
    char text[3];
    std::snprintf(text, sizeof text, "%02X", value & 0xFFu);
    return text;
}

[[noreturn]] void Refuse(std::size_t line, const std::string& what)
{
    throw EInOutError(0, "line " + std::to_string(line) + ": " + what);
}

std::uint32_t Big(const std::uint8_t* bytes, int n)
{
    std::uint32_t value = 0;
    for (int i = 0; i < n; ++i)
        value = value << 8 | bytes[i];
    return value;
}

class THexReader
{
public:
    TFirmwareImage Read(std::string_view text);

private:
    void Record(std::string_view line);
    void ExpectCount(std::size_t count, std::size_t expected, const char* what) const;

    TImagePieces fPieces;
    std::array<std::uint8_t, MaxRecordBytes> fBytes{};
    std::size_t fLine = 0;
    std::uint64_t fBase = 0; // from the last 02 or 04 record
    std::uint32_t fEntry = 0;
    bool fEnded = false;
};

TFirmwareImage THexReader::Read(std::string_view text)
{
    // Ctrl-Z ends a text file for the sender too.
    text = text.substr(0, text.find('\x1a'));
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        ++fLine;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.remove_suffix(1);
        if (line.empty()) continue;
        if (fEnded) Refuse(fLine, "a record after the end-of-file record");
        Record(line);
    }
    if (!fEnded)
        throw EInOutError(0, "line " + std::to_string(fLine) +
                                 ": the file ends without an end-of-file record (01)");
    return TFirmwareImage(fPieces, fEntry, "line");
}

void THexReader::ExpectCount(std::size_t count, std::size_t expected, const char* what) const
{
    if (count != expected)
        Refuse(fLine, std::string(what) + " record with " + std::to_string(count) +
                          " data bytes instead of " + std::to_string(expected));
}

void THexReader::Record(std::string_view line)
{
    if (line[0] != ':') Refuse(fLine, "a HEX record starts with ':'");
    const std::string_view hex = line.substr(1);
    if (hex.size() % 2 != 0) Refuse(fLine, "odd number of hex digits");
    if (hex.size() / 2 > MaxRecordBytes) Refuse(fLine, "record too long");
    if (hex.size() / 2 < 5) Refuse(fLine, "record too short");
    const std::size_t n = hex.size() / 2;
    unsigned sum = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t high = HexDigits[static_cast<unsigned char>(hex[2 * i])];
        const std::uint8_t low = HexDigits[static_cast<unsigned char>(hex[2 * i + 1])];
        if ((high | low) > 15) Refuse(fLine, "bad hex digit");
        fBytes[i] = static_cast<std::uint8_t>(high << 4 | low);
        sum += fBytes[i];
    }
    const std::size_t count = fBytes[0];
    if (count != n - 5)
        Refuse(fLine, "byte count " + std::to_string(count) + " does not match the " +
                          std::to_string(n - 5) + " data bytes that follow");
    if ((sum & 0xFFu) != 0) {
        const unsigned expected = (fBytes[n - 1] - sum) & 0xFFu;
        Refuse(fLine, "checksum mismatch (expected " + Hex2(expected) + ", found " +
                          Hex2(fBytes[n - 1]) + ")");
    }
    const std::uint32_t offset = Big(fBytes.data() + 1, 2);
    const std::uint8_t* data = fBytes.data() + 4;
    switch (fBytes[3]) {
    case 0x00:
        // The offset counts within a 64 KiB window; a record running past it is ambiguous
        // (wrap or carry on), so it is refused rather than guessed.
        if (offset + count > 0x10000) Refuse(fLine, "data runs past the 64 KiB offset range");
        try {
            fPieces.Add(fBase + offset, {data, count}, static_cast<std::uint32_t>(fLine));
        } catch (const EInOutError& e) {
            Refuse(fLine, e.what());
        }
        break;
    case 0x01:
        ExpectCount(count, 0, "end-of-file");
        fEnded = true;
        break;
    case 0x02:
        ExpectCount(count, 2, "extended segment address");
        fBase = static_cast<std::uint64_t>(Big(data, 2)) << 4;
        break;
    case 0x03:
        ExpectCount(count, 4, "start segment address");
        fEntry = (Big(data, 2) << 4) + Big(data + 2, 2);
        break;
    case 0x04:
        ExpectCount(count, 2, "extended linear address");
        fBase = static_cast<std::uint64_t>(Big(data, 2)) << 16;
        break;
    case 0x05:
        ExpectCount(count, 4, "start linear address");
        fEntry = Big(data, 4);
        break;
    default:
        Refuse(fLine, "unknown record type " + Hex2(fBytes[3]));
    }
}

} // namespace

TFirmwareImage ReadIntelHex(std::string_view text)
{
    return THexReader().Read(text);
}
