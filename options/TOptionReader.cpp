#include "options/TOptionReader.h"

#include <charconv>
#include <ostream>

bool TOptionReader::Next()
{
    if (fNext >= fArguments.size()) return false;
    fName = fArguments[fNext++];
    fHasInlineValue = false;
    if (const auto equals = fName.find('='); fName.starts_with("--") && equals != fName.npos) {
        fInlineValue = fName.substr(equals + 1);
        fName = fName.substr(0, equals);
        fHasInlineValue = true;
    }
    return true;
}

std::string_view TOptionReader::Value(std::string_view what)
{
    std::string_view value;
    if (fHasInlineValue)
        value = fInlineValue;
    else if (fNext < fArguments.size())
        value = fArguments[fNext++];
    if (value.empty()) Fail("needs " + std::string(what));
    return value;
}

int TOptionReader::ToNumber(std::string_view text, int min) const
{
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < min)
        Fail("takes a whole number from " + std::to_string(min) + ", not '" + std::string(text) +
             "'");
    return value;
}

void TOptionReader::Fail(std::string_view why) const
{
    throw EUsage("option '" + std::string(fName) + "' " + std::string(why));
}

void TOptionReader::Reject() const
{
    if (IsOption()) throw EUsage("unknown option '" + std::string(fName) + "'");
    throw EUsage("unexpected argument '" + std::string(fName) + "'");
}

int ReportUsageError(std::ostream& err, std::string_view program, const EUsage& error)
{
    err << program << ": " << error.what() << "\nTry '" << program << " --help'.\n";
    return 2;
}
