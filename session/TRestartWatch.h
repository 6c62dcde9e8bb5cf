#pragma once
// Tells a device that started afresh from one that is taking the file. A boot loader that is
// reset part-way (a watchdog, a brown-out) shows what it showed after Init, its banner and its
// menu, and then reads the rest of the file as menu input: those lines coming back during a
// transfer mean the board is not flashed. The watch learns them from the dialogue before the
// transfer, whatever the device's wording.

#include <string>
#include <string_view>

class TRestartWatch
{
public:
    // Outside a transfer: the device's text as it comes.
    void Learn(std::string_view bytes);
    // Init went out: the device's next lines are its banner and its menu.
    void ExpectBanner();
    // The responder answered a prompt in the text learnt last: its line is the menu prompt, and
    // the first line the device showed before it is its banner.
    void PromptAnswered();

    // A transfer begins: lines are judged from here on.
    void BeginTransfer();
    // During a transfer: whether these bytes complete the banner line or the menu prompt.
    bool ShowsRestart(std::string_view bytes);
    // After the last line: the device's text, judged like ShowsRestart's.
    void TakeAfterLastLine(std::string_view bytes);
    // The menu prompt came back after the last line: the device is back at its menu.
    bool PromptAfterLastLine() const { return fPromptAfter; }
    // The banner came back before that prompt: a device that shows it with every menu, or one
    // that restarted on the last records.
    bool BannerAfterLastLine() const { return fBannerAfter; }
    // Text followed that prompt: the rest of the file reached a restarted device's menu (a
    // device back at its menu after a load waits there for a choice).
    bool TextAfterPrompt() const { return fTextAfterPrompt; }

    const std::string& Prompt() const { return fPrompt; }
    const std::string& Banner() const { return fBanner; }

private:
    // Feeds bytes to the line under way; calls onLine for each line a CR or LF ends.
    template <class TOnLine> void Take(std::string& line, std::string_view bytes, TOnLine onLine);
    bool IsPrompt(std::string_view line) const;
    bool PromptEndsLine(char c) const;

    std::string fPrompt;
    std::string fBanner;
    // Before the transfer: the line under way, and the first line since Init or the last answer.
    std::string fLine;
    std::string fFirstLine;
    std::string fPromptLine; // the last line that held '>'
    // During and after a transfer: the line under way, and what came after the last line.
    std::string fTransferLine;
    bool fPromptAfter = false;
    bool fBannerAfter = false;
    bool fTextAfterPrompt = false;
};
