#pragma once
// The dialogue a rig holds with a board once it is flashed, to prove it runs: texts sent and
// texts awaited, in the order given (e.g. start the application, await its version line, send a
// serial number, await its receipt). Pure rules: the port and the clock are the caller's.

#include <cstddef>
#include <regex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct TCheckStep
{
    enum class TKind { Send, Expect };
    TKind Kind = TKind::Send;
    std::string Text; // Send: the bytes, escapes decoded; Expect: an ECMAScript regular expression
};

// The bytes of --send's text: \r \n \t \\ and \xHH stand for themselves, so that a line end or
// any byte can be typed. Throws std::invalid_argument saying what is wrong.
std::string DecodeSendText(std::string_view text);

// Throws std::regex_error for an expression that does not compile.
std::regex CompileExpectation(const std::string& pattern);

class TCheckDialogue
{
public:
    // How the current expectation stands in what came so far.
    enum class TLook {
        Waiting, // not there yet
        Growing, // there, but it ends with the last byte and more of it may still come
        Matched, // there; its text is kept and the next step begins after it
    };

    explicit TCheckDialogue(std::span<const TCheckStep> steps);

    bool Done() const { return fNext == fSteps.size(); }
    // The bytes to write now, up to the next expectation; what came before them is forgotten,
    // since an answer to them can only come after.
    std::string TakeSends();
    void Received(std::string_view bytes);
    // lineQuiet: nothing has come for a while, so a match at the very end is whole.
    TLook Look(bool lineQuiet);
    const std::string& Pattern() const { return fSteps[fNext].Text; }
    // The matched texts, one per expectation, in order.
    const std::vector<std::string>& Matches() const { return fMatches; }

private:
    struct TCompiledStep
    {
        TCheckStep::TKind Kind;
        std::string Text;
        std::regex Expression;
    };
    std::vector<TCompiledStep> fSteps;
    std::size_t fNext = 0;
    std::string fSeen; // what came since the last send or match, its newest part
    std::size_t fNotLookedAt = 0;
    std::vector<std::string> fMatches;
};
