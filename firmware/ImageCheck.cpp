#include "firmware/ImageCheck.h"

#include "firmware/SRecord.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

std::string_view WithoutCr(std::string_view line)
{
    while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
        line.remove_suffix(1);
    return line;
}

bool LooksLikeSRecords(const std::vector<std::string_view>& lines)
{
    bool any = false;
    for (std::string_view line : lines) {
        line = WithoutCr(line);
        if (line.empty()) continue;
        if (line.size() < 2 || line[0] != 'S' || line[1] < '0' || line[1] > '9') return false;
        any = true;
    }
    return any;
}

std::string AtLine(std::size_t index, const std::string& what)
{
    return "line " + std::to_string(index + 1) + ": " + what;
}

} // namespace

std::vector<std::string_view> FirmwareLines(std::string_view text)
{
    if (const auto eof = text.find('\x1a'); eof != std::string_view::npos)
        text = text.substr(0, eof);
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const auto end = text.find('\n');
        lines.push_back(text.substr(0, end));
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

std::uint64_t BytesOfLines(std::string_view text, std::int32_t n)
{
    std::uint64_t bytes = 0;
    const std::vector<std::string_view> lines = FirmwareLines(text);
    for (std::size_t i = 0; i < lines.size() && i < static_cast<std::size_t>(std::max(n, 0)); ++i)
        bytes += lines[i].size() -
                 static_cast<std::size_t>(std::count(lines[i].begin(), lines[i].end(), '\r')) + 1;
    return bytes;
}

TImageCheck CheckImage(std::string_view text, bool verifyRecords)
{
    TImageCheck check;
    if (text.empty()) {
        check.Error = "the file is empty";
        return check;
    }
    if (text.find('\0') != std::string_view::npos) {
        check.Error = "the file is binary, not a text firmware file";
        return check;
    }
    const std::vector<std::string_view> lines = FirmwareLines(text);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].size() > MaxLineBytes) {
            check.Error = AtLine(i, "longer than " + std::to_string(MaxLineBytes) +
                                        " bytes, the most the sender keeps queued");
            return check;
        }
    }
    if (!verifyRecords || !LooksLikeSRecords(lines)) return check;

    std::uint32_t dataRecords = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line = WithoutCr(lines[i]);
        if (line.empty()) continue;
        try {
            const TSRecord record = ParseSRecord(line);
            if (IsSRecordData(record.Type)) ++dataRecords;
            if (record.Type == 5 || record.Type == 6) {
                if (!record.Data.empty()) throw EInOutError(0, "count record carries data");
                if (record.Address != dataRecords)
                    throw EInOutError(0, "count record says " + std::to_string(record.Address) +
                                             " data records, " + std::to_string(dataRecords) +
                                             " came before");
            }
        } catch (const EInOutError& e) {
            check.Error = AtLine(i, e.what());
            return check;
        }
    }
    check.SRecords = true;
    return check;
}
