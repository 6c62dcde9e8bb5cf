#pragma once
// Reads a program's command line one argument at a time, the same way for every program of
// Tarvel: "--name VALUE" and "--name=VALUE" alike, numbers checked, and one kind of usage error
// that names the option and is reported in one way.

#include <iosfwd>
#include <iostream>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

// A command line that cannot be used; the message is for the operator.
class EUsage : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

class TOptionReader
{
public:
    explicit TOptionReader(std::span<const std::string_view> arguments) : fArguments(arguments) {}

    // Moves to the next argument; false when there is none left.
    bool Next();
    // The option ("--baud" of "--baud=9600"), or the whole argument when it is no option.
    std::string_view Name() const { return fName; }
    bool IsOption() const { return fName.size() > 1 && fName.front() == '-'; }
    // The option's value: after '=', or else the next argument. Throws EUsage "option '--x'
    // needs <what>" when there is none or it is empty.
    std::string_view Value(std::string_view what = "a value");
    // The value as a whole decimal number of at least min.
    int Number(int min = 0) { return ToNumber(Value("a number"), min); }
    // A value already taken, read the same way.
    int ToNumber(std::string_view text, int min = 0) const;
    // Throws EUsage "option '--x' <why>".
    [[noreturn]] void Fail(std::string_view why) const;
    // Throws EUsage "unknown option '--x'" or "unexpected argument 'x'".
    [[noreturn]] void Reject() const;

private:
    std::span<const std::string_view> fArguments;
    std::size_t fNext = 0;
    std::string_view fName;
    std::string_view fInlineValue;
    bool fHasInlineValue = false;
};

// Says the error on err as "<program>: <message>" and where the help is; returns the exit code
// for a usage error, 2.
int ReportUsageError(std::ostream& err, std::string_view program, const EUsage& error);

// A program's first step: its options read by parse into options. A usage error is reported
// (exit code 2) and a request for help prints usage() (exit code 0); either way the exit code
// comes back, and nothing when the program goes on.
template <class TOptions, class TParse, class TUsage>
std::optional<int> ReadCommandLine(TOptions& options, std::string_view program,
                                   std::span<const std::string_view> arguments, TParse parse,
                                   TUsage usage)
{
    try {
        options = parse(arguments);
    } catch (const EUsage& error) {
        return ReportUsageError(std::cerr, program, error);
    }
    if (!options.ShowHelp) return std::nullopt;
    std::cout << usage();
    return 0;
}
