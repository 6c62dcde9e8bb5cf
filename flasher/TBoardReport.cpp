#include "flasher/TBoardReport.h"

#include "system/CalendarTime.h"

#include <cstdio>
#include <ctime>
#include <system_error>

namespace {

bool IsUtf8(std::string_view text)
{
    for (std::size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        const std::size_t length = b < 0x80         ? 1
                                   : (b >> 5) == 6  ? 2
                                   : (b >> 4) == 14 ? 3
                                   : (b >> 3) == 30 ? 4
                                                    : 0;
        if (length == 0 || i + length > text.size()) return false;
        for (std::size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(text[i + k]) >> 6) != 2) return false;
        i += length;
    }
    return true;
}

std::string CsvField(std::string_view text)
{
    const std::string utf8 = AsUtf8(text);
    if (utf8.find_first_of(",\"\r\n") == std::string::npos) return utf8;
    std::string quoted = "\"";
    for (const char c : utf8) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

std::string XmlText(std::string_view text)
{
    std::string xml;
    for (const char c : AsUtf8(text)) {
        const auto b = static_cast<unsigned char>(c);
        switch (c) {
        case '&':
            xml += "&amp;";
            break;
        case '<':
            xml += "&lt;";
            break;
        case '>':
            xml += "&gt;";
            break;
        case '"':
            xml += "&quot;";
            break;
        case '\'':
            xml += "&apos;";
            break;
        default:
            // XML 1.0 has no way to carry other control characters, not even escaped.
            if (b < 0x20 && c != '\t' && c != '\n' && c != '\r')
                xml += "\xEF\xBF\xBD";
            else if (c == '\r' || c == '\n' || c == '\t')
                xml += "&#" + std::to_string(b) + ";";
            else
                xml += c;
        }
    }
    return xml;
}

std::string Decimal(double value, int decimals)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

bool Passed(const TBoardRecord& board)
{
    return board.ExitCode == 0;
}

// The board's own fault (refused, restarted, silent, its check): a failure; the rest (a port
// that would not open, a device gone, Ctrl-C) kept it from being judged: an error.
bool FailedItself(const TBoardRecord& board)
{
    return board.ExitCode == 1 || board.ExitCode == 5;
}

} // namespace

std::string AsUtf8(std::string_view bytes)
{
    if (IsUtf8(bytes)) return std::string(bytes);
    std::string utf8;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            utf8 += c;
        } else {
            utf8 += static_cast<char>(0xC0 | (b >> 6));
            utf8 += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return utf8;
}

std::string CsvHeader()
{
    return "time_utc,station,port,usb_serial,file,sha256,result,exit_code,seconds,lines,bytes,"
           "check,message\r\n";
}

std::string CsvRow(const TBoardRecord& board)
{
    return CsvField(board.TimeUtc) + "," + CsvField(board.Station) + "," + CsvField(board.Port) +
           "," + CsvField(board.UsbSerial) + "," + CsvField(board.File) + "," +
           CsvField(board.Sha256) + "," + CsvField(board.Result) + "," +
           std::to_string(board.ExitCode) + "," + Decimal(board.Seconds, 3) + "," +
           std::to_string(board.Lines) + "," + std::to_string(board.Bytes) + "," +
           CsvField(board.Check) + "," + CsvField(board.Message) + "\r\n";
}

std::string JUnitDocument(std::span<const TBoardRecord> boards)
{
    std::size_t failures = 0, errors = 0;
    double seconds = 0;
    std::string cases;
    for (const TBoardRecord& board : boards) {
        seconds += board.Seconds;
        cases += "    <testcase classname=\"tarvel-flash." + XmlText(board.Port) + "\" name=\"" +
                 XmlText(board.Port + " " + (board.UsbSerial.empty() ? "-" : board.UsbSerial) +
                         " " + board.TimeUtc) +
                 "\" time=\"" + Decimal(board.Seconds, 3) + "\">\n";
        if (!Passed(board)) {
            const char* kind = FailedItself(board) ? "failure" : "error";
            (FailedItself(board) ? failures : errors) += 1;
            cases += std::string("      <") + kind + " type=\"exit " +
                     std::to_string(board.ExitCode) + "\" message=\"" + XmlText(board.Message) +
                     "\"/>\n";
        }
        cases +=
            "      <system-out>" +
            XmlText("result " + board.Result + ", " + std::to_string(board.Lines) + " lines, " +
                    std::to_string(board.Bytes) + " bytes, file " + board.File + " (SHA-256 " +
                    board.Sha256 + ")" + (board.Check.empty() ? "" : ", check " + board.Check)) +
            "</system-out>\n    </testcase>\n";
    }
    const std::string counts = " tests=\"" + std::to_string(boards.size()) + "\" failures=\"" +
                               std::to_string(failures) + "\" errors=\"" + std::to_string(errors) +
                               "\" time=\"" + Decimal(seconds, 3) + "\"";
    std::string head =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites name=\"tarvel-flash\"" + counts +
        ">\n  <testsuite name=\"tarvel-flash\"" + counts + " skipped=\"0\"";
    if (!boards.empty())
        head += " timestamp=\"" + XmlText(boards.front().TimeUtc) + "\" hostname=\"" +
                XmlText(boards.front().Station) + "\"";
    return head + ">\n" + cases + "  </testsuite>\n</testsuites>\n";
}

std::string UtcTimeNow()
{
    const std::tm utc = UtcCalendarTime(std::time(nullptr));
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

TBoardReport::TBoardReport(const std::filesystem::path& csvPath, std::filesystem::path junitPath)
    : fCsvPath(csvPath), fJUnitPath(std::move(junitPath))
{
    if (!csvPath.empty()) fCsv = TFile::OpenForAppending(csvPath, CsvHeader());
}

std::optional<std::string> TBoardReport::Add(const TBoardRecord& board)
{
    std::string problems;
    if (fCsv) {
        const std::string row = CsvRow(board);
        try {
            // One write: other stations' rows land before or after it, never inside.
            fCsv->Write(row);
            fCsv->Sync();
        } catch (const std::system_error& e) {
            problems += fCsvPath.string() + ": " + e.code().message() + "; the row was: " + row;
        }
    }
    if (fJUnitPath.empty()) return problems.empty() ? std::nullopt : std::optional(problems);
    std::lock_guard lock(fMutex);
    fBoards.push_back(board);
    // Replaced whole, so that a reader never sees half a document.
    std::filesystem::path partial = fJUnitPath;
    partial += ".partial";
    try {
        {
            TFile file = TFile::Create(partial);
            file.Write(JUnitDocument(fBoards));
            file.Sync();
        }
        std::filesystem::rename(partial, fJUnitPath);
    } catch (const std::system_error& e) {
        problems +=
            (problems.empty() ? "" : "\n") + fJUnitPath.string() + ": " + e.code().message();
    }
    return problems.empty() ? std::nullopt : std::optional(problems);
}
