#include "session/TRestartWatch.h"

namespace {

// A banner shorter than this could be an ordinary answer ("OK") and is not taken as one.
constexpr std::size_t MinBannerLength = 6;
// A line that merely ends with a prompt or banner this long is taken as it (noise before it).
constexpr std::size_t MinSuffixMatch = 4;
// Lines are judged by their end; a longer one keeps only its last part.
constexpr std::size_t MaxLineBytes = 512;
constexpr std::size_t KeptLineBytes = 256;

bool IsBlank(char c)
{
    const auto b = static_cast<unsigned char>(c);
    return b <= 0x20 || b == 0x7F;
}

// The line without the spaces and control bytes around it (a reset often sends a stray byte).
std::string_view Trimmed(std::string_view line)
{
    while (!line.empty() && IsBlank(line.front()))
        line.remove_prefix(1);
    while (!line.empty() && IsBlank(line.back()))
        line.remove_suffix(1);
    return line;
}

bool Matches(std::string_view line, std::string_view text)
{
    if (text.empty()) return false;
    line = Trimmed(line);
    return line == text || (text.size() >= MinSuffixMatch && line.ends_with(text));
}

} // namespace

template <class TOnLine>
void TRestartWatch::Take(std::string& line, std::string_view bytes, TOnLine onLine)
{
    for (const char c : bytes) {
        if (c == '\r' || c == '\n') {
            onLine(std::string_view(line));
            line.clear();
        } else if (c == '\b') {
            if (!line.empty()) line.pop_back(); // a spinner turning in place
        } else {
            line += c;
            if (line.size() > MaxLineBytes) line.erase(0, line.size() - KeptLineBytes);
        }
    }
}

void TRestartWatch::Learn(std::string_view bytes)
{
    Take(fLine, bytes, [this](std::string_view line) {
        if (fFirstLine.empty()) fFirstLine = Trimmed(line);
        if (line.find('>') != std::string_view::npos) fPromptLine = Trimmed(line);
    });
    // A menu waits for its choice on the prompt's line, which no line end has ended yet.
    if (fLine.find('>') != std::string::npos) fPromptLine = Trimmed(fLine);
}

void TRestartWatch::ExpectBanner()
{
    fFirstLine.clear();
}

void TRestartWatch::PromptAnswered()
{
    const std::string_view line = fPromptLine;
    if (const auto end = line.rfind('>'); end != std::string_view::npos)
        fPrompt = Trimmed(line.substr(0, end + 1));
    if (fFirstLine.size() >= MinBannerLength && fFirstLine != fPrompt) fBanner = fFirstLine;
    fFirstLine.clear();
}

void TRestartWatch::BeginTransfer()
{
    fTransferLine.clear();
    fPromptAfter = fBannerAfter = fTextAfterPrompt = false;
}

bool TRestartWatch::IsPrompt(std::string_view line) const
{
    return Matches(line, fPrompt);
}

bool TRestartWatch::PromptEndsLine(char c) const
{
    // The prompt may be followed at once by what the device echoes or says next.
    return !fPrompt.empty() && c == fPrompt.back() && IsPrompt(fTransferLine);
}

bool TRestartWatch::ShowsRestart(std::string_view bytes)
{
    bool seen = false;
    for (const char c : bytes) {
        Take(fTransferLine, std::string_view(&c, 1), [&](std::string_view line) {
            seen = seen || IsPrompt(line) || Matches(line, fBanner);
        });
        seen = seen || PromptEndsLine(c);
    }
    return seen;
}

void TRestartWatch::TakeAfterLastLine(std::string_view bytes)
{
    for (const char c : bytes) {
        if (fPromptAfter && !IsBlank(c)) fTextAfterPrompt = true;
        Take(fTransferLine, std::string_view(&c, 1), [this](std::string_view line) {
            if (!fPromptAfter && Matches(line, fBanner)) fBannerAfter = true;
            if (IsPrompt(line)) fPromptAfter = true;
        });
        if (PromptEndsLine(c)) fPromptAfter = true;
    }
    // Without a prompt learnt, any '>' is the menu coming back.
    if (fPrompt.empty() && bytes.find('>') != std::string_view::npos) fPromptAfter = true;
}
