#include "flasher/TCheckDialogue.h"

#include "firmware/SRecord.h"

#include <stdexcept>

namespace {

// A version line or a receipt is short; a chatty board's output before it is not kept whole, so
// that searching again on each arrival stays cheap. What has not been searched yet is kept.
constexpr std::size_t KeptBytes = 4096;

} // namespace

std::string DecodeSendText(std::string_view text)
{
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            bytes += text[i];
            continue;
        }
        if (++i == text.size()) throw std::invalid_argument("ends in a lone backslash");
        switch (text[i]) {
        case 'r':
            bytes += '\r';
            break;
        case 'n':
            bytes += '\n';
            break;
        case 't':
            bytes += '\t';
            break;
        case '\\':
            bytes += '\\';
            break;
        case 'x': {
            const int high = i + 1 < text.size() ? HexDigitValue(text[i + 1]) : -1;
            const int low = i + 2 < text.size() ? HexDigitValue(text[i + 2]) : -1;
            if (high < 0 || low < 0)
                throw std::invalid_argument("has \\x without two hex digits after it");
            bytes += static_cast<char>(high * 16 + low);
            i += 2;
            break;
        }
        default:
            throw std::invalid_argument(std::string("has an unknown escape \\") + text[i] +
                                        " (\\r \\n \\t \\\\ \\xHH are known)");
        }
    }
    return bytes;
}

std::regex CompileExpectation(const std::string& pattern)
{
    // Multi-line: ^ and $ stand at the board's line ends, CR or LF.
    return std::regex(pattern, std::regex::ECMAScript | std::regex::multiline);
}

TCheckDialogue::TCheckDialogue(std::span<const TCheckStep> steps)
{
    for (const TCheckStep& step : steps)
        fSteps.push_back({step.Kind, step.Text,
                          step.Kind == TCheckStep::TKind::Expect ? CompileExpectation(step.Text)
                                                                 : std::regex()});
}

std::string TCheckDialogue::TakeSends()
{
    std::string bytes;
    for (; !Done() && fSteps[fNext].Kind == TCheckStep::TKind::Send; ++fNext)
        bytes += fSteps[fNext].Text;
    if (!bytes.empty()) fSeen.clear();
    return bytes;
}

void TCheckDialogue::Received(std::string_view bytes)
{
    fSeen += bytes;
    fNotLookedAt += bytes.size();
    const std::size_t keep = KeptBytes + fNotLookedAt;
    if (fSeen.size() > keep + KeptBytes) fSeen.erase(0, fSeen.size() - keep);
}

TCheckDialogue::TLook TCheckDialogue::Look(bool lineQuiet)
{
    if (Done() || fSteps[fNext].Kind != TCheckStep::TKind::Expect) return TLook::Waiting;
    fNotLookedAt = 0;
    std::smatch match;
    if (!std::regex_search(fSeen, match, fSteps[fNext].Expression)) return TLook::Waiting;
    const auto end = static_cast<std::size_t>(match.position(0) + match.length(0));
    // "version (\S+)" on "version 1.2" may yet become "version 1.23".
    if (end == fSeen.size() && !lineQuiet) return TLook::Growing;
    fMatches.push_back(match.str(0));
    fSeen.erase(0, end);
    ++fNext;
    return TLook::Matched;
}
