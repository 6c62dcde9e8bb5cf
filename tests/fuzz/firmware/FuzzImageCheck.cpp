// libFuzzer target: the image check of tarvel-flash and the S-record parser over any text.
// A plain second reading of the S-record rules judges both: the check must accept exactly the
// files whose every record that reading accepts, and name the first line it refuses. Every record
// accepted must format back to its own text, and an image made from the accepted records must be
// written by the generator as a file the check accepts and that holds the same bytes. The byte
// count tarvel-flash reports for n lines must be what the session's file reader sends for them.
#include "firmware/ImageCheck.h"
#include "firmware/SRecord.h"
#include "firmware/TFirmwareFile.h"
#include "tests/fuzz/session/FuzzMemoryFile.h"
#include "sim/SRecordGenerator.h"
#include "tests/support/TFuzzRule.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr TFuzzRule Rule("image check");

// --- the second reading

std::string_view WithoutTrailing(std::string_view text, std::string_view blanks)
{
    while (!text.empty() && blanks.find(text.back()) != std::string_view::npos)
        text.remove_suffix(1);
    return text;
}

std::optional<TSRecord> ReadRecord(std::string_view line)
{
    line = WithoutTrailing(line, " \t\r\n");
    if (line.size() < 2 || line[0] != 'S' || !std::isdigit(static_cast<unsigned char>(line[1])))
        return std::nullopt;
    static constexpr std::size_t AddressBytes[10] = {2, 2, 3, 4, 0, 2, 3, 4, 3, 2};
    TSRecord record;
    record.Type = line[1] - '0';
    const std::size_t addressBytes = AddressBytes[record.Type];
    if (addressBytes == 0 || line.size() % 2 != 0) return std::nullopt;

    std::vector<unsigned> bytes;
    for (std::size_t at = 2; at < line.size(); at += 2) {
        unsigned value = 0;
        const char* const first = line.data() + at;
        const auto [end, error] = std::from_chars(first, first + 2, value, 16);
        if (error != std::errc() || end != first + 2) return std::nullopt;
        bytes.push_back(value);
    }
    // The count covers address, data and checksum; the checksum completes the sum to 0xFF.
    if (bytes.empty() || bytes[0] != bytes.size() - 1 || bytes.size() < addressBytes + 2)
        return std::nullopt;
    unsigned sum = 0;
    for (unsigned byte : bytes)
        sum += byte;
    if (sum % 256 != 0xFF) return std::nullopt;

    uint64_t address = 0;
    for (std::size_t i = 1; i <= addressBytes; ++i)
        address = address * 256 + bytes[i];
    for (std::size_t i = 1 + addressBytes; i + 1 < bytes.size(); ++i)
        record.Data.push_back(static_cast<uint8_t>(bytes[i]));
    if (record.Type > 3 && !record.Data.empty()) return std::nullopt;
    if (address + record.Data.size() > uint64_t{1} << 32) return std::nullopt;
    record.Address = static_cast<uint32_t>(address);
    return record;
}

std::vector<std::string_view> SplitLines(std::string_view text)
{
    text = text.substr(0, text.find('\x1a'));
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') {
            lines.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

struct TVerdict
{
    bool Refused = false;
    std::string Error; // the whole-file errors word for word; a line's by its number
    bool SRecords = false;
};

std::string LinePrefix(std::size_t index)
{
    return "line " + std::to_string(index + 1) + ": ";
}

TVerdict Judge(std::string_view text, bool verify)
{
    TVerdict verdict;
    if (text.empty()) return {true, "the file is empty", false};
    if (text.find('\0') != std::string_view::npos)
        return {true, "the file is binary, not a text firmware file", false};
    const std::vector<std::string_view> lines = SplitLines(text);
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (lines[i].size() > MaxLineBytes) return {true, LinePrefix(i), false};
    if (!verify) return verdict;

    bool any = false;
    for (std::string_view line : lines) {
        line = WithoutTrailing(line, "\r ");
        if (line.empty()) continue;
        if (line.size() < 2 || line[0] != 'S' || line[1] < '0' || line[1] > '9') return verdict;
        any = true;
    }
    if (!any) return verdict;

    uint32_t dataRecords = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line = WithoutTrailing(lines[i], "\r ");
        if (line.empty()) continue;
        const std::optional<TSRecord> record = ReadRecord(line);
        if (!record) return {true, LinePrefix(i), false};
        if (record->Type >= 1 && record->Type <= 3) ++dataRecords;
        if ((record->Type == 5 || record->Type == 6) && record->Address != dataRecords)
            return {true, LinePrefix(i), false};
    }
    verdict.SRecords = true;
    return verdict;
}

void CompareWithCheck(std::string_view text, bool verify)
{
    const TImageCheck check = CheckImage(text, verify);
    const TVerdict expected = Judge(text, verify);
    Rule.Check(check.Error.has_value() == expected.Refused,
               "accepted or refused against the rules");
    Rule.Check(check.SRecords == expected.SRecords, "S-records or not against the rules");
    if (check.Error) {
        // A line's error names that line, then says what is wrong with it.
        const bool byLine = expected.Error.starts_with("line ");
        Rule.Check(byLine ? check.Error->starts_with(expected.Error) &&
                                check.Error->size() > expected.Error.size()
                          : *check.Error == expected.Error,
                   "the error names another line or cause");
    }
}

// --- the parser against the second reading

void CheckRecord(std::string_view line)
{
    const std::optional<TSRecord> expected = ReadRecord(line);
    std::optional<TSRecord> parsed;
    try {
        parsed = ParseSRecord(line);
    } catch (const EInOutError& e) {
        Rule.Check(std::string_view(e.what()).find_first_of(":>") == std::string_view::npos,
                   "an error text that the device line would take for a prompt");
    }
    Rule.Check(parsed.has_value() == expected.has_value(), "parser and rules disagree on a record");
    if (!parsed) return;
    Rule.Check(parsed->Type == expected->Type && parsed->Address == expected->Address &&
                   parsed->Data == expected->Data,
               "parser and rules read different fields");
    // A record's fields fix its text, so it formats back to what it was, in upper case.
    std::string canonical(WithoutTrailing(line, " \t\r\n"));
    std::transform(canonical.begin(), canonical.end(), canonical.begin(), [](char c) {
        return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    });
    Rule.Check(FormatSRecord(*parsed) == canonical, "a record formats to another text");
}

// --- the generator's file for the accepted image

void CheckRegenerated(const std::vector<std::string_view>& lines, uint8_t options)
{
    std::map<uint32_t, uint8_t> image;
    for (std::string_view line : lines) {
        line = WithoutTrailing(line, "\r ");
        if (line.empty()) continue;
        const TSRecord record = ParseSRecord(line);
        if (!IsSRecordData(record.Type)) continue;
        for (std::size_t i = 0; i < record.Data.size(); ++i)
            image[static_cast<uint32_t>(record.Address + i)] = record.Data[i]; // later lines win
    }
    TSRecordFileOptions fileOptions;
    fileOptions.BytesPerRecord = 1 + options % 250;
    fileOptions.LineEnd = options & 1 ? TLineEnd::Lf : TLineEnd::CrLf;
    const std::string written = GenerateSRecordFile(image, fileOptions);
    const TImageCheck check = CheckImage(written, true);
    Rule.Check(!check.Error && check.SRecords, "the generator's file fails the check");

    std::map<uint32_t, uint8_t> readBack;
    for (std::string_view line : FirmwareLines(written)) {
        const TSRecord record = ParseSRecord(line);
        Rule.Check(!IsSRecordData(record.Type) || record.Data.size() <= fileOptions.BytesPerRecord,
                   "the generator's records are longer than asked");
        if (!IsSRecordData(record.Type)) continue;
        for (std::size_t i = 0; i < record.Data.size(); ++i)
            Rule.Check(
                readBack.emplace(record.Address + static_cast<uint32_t>(i), record.Data[i]).second,
                "the generator writes one address twice");
    }
    Rule.Check(readBack == image, "the generator's file holds other bytes");
}

// --- what tarvel-flash reports against what the session sends

TFuzzMemoryFile& FirmwareFile()
{
    static TFuzzMemoryFile file("tarvel-fuzz-image");
    return file;
}

void CheckSentBytes(std::string_view text, const std::vector<std::string_view>& lines)
{
    FirmwareFile().Replace(text);
    TFirmwareFile file(FirmwareFile().Path());
    std::vector<uint64_t> sentAfter{0}; // bytes on the wire after each line
    while (!file.Eof()) {
        Rule.Check(sentAfter.size() <= lines.size(),
                   "the reader sends more lines than the file has");
        const std::string line = file.ReadLine();
        std::string expected(lines[sentAfter.size() - 1]);
        std::erase(expected, '\r');
        Rule.Check(line == expected, "the reader sends another line");
        sentAfter.push_back(sentAfter.back() + line.size() + 1);
    }
    Rule.Check(sentAfter.size() == lines.size() + 1,
               "the reader sends fewer lines than the file has");
    const auto total = static_cast<std::int32_t>(lines.size());
    for (const std::int32_t n : {-1, 0, 1, total / 2, total - 1, total, total + 1}) {
        const std::size_t sent = static_cast<std::size_t>(std::clamp(n, 0, total));
        Rule.Check(BytesOfLines(text, n) == sentAfter[sent],
                   "the reported byte count is not what went");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const std::vector<std::string_view> lines = FirmwareLines(text);
    Rule.Check(lines == SplitLines(text), "the lines are cut elsewhere");
    for (std::string_view line : lines)
        CheckRecord(line);

    CompareWithCheck(text, false);
    CompareWithCheck(text, true);
    const TImageCheck check = CheckImage(text, true);
    if (check.SRecords) CheckRegenerated(lines, size > 0 ? data[size - 1] : 0);
    if (!check.Error) CheckSentBytes(text, lines);
    return 0;
}
