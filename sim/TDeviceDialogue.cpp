#include "sim/TDeviceDialogue.h"

#include "session/SRecord.h"

#include <cstdio>

// The texts avoid ':' and '>' except in the two prompts, and "Send" except in the ready line:
// the program answers those characters and enables flashing on that word wherever they appear.
namespace {

constexpr std::string_view Banner = "\r\n\r\nTARVEL boot loader 1.0 (simulated device)\r\n";
constexpr std::string_view Menu = "\r\n"
                                  "  1  Flash boot loader\r\n"
                                  "  2  Flash firmware\r\n"
                                  "  3  Show version\r\n"
                                  "  4  Start firmware\r\n"
                                  "  5  Reboot\r\n"
                                  "\r\n"
                                  "Choice >";
constexpr std::string_view PasswordPrompt = "\r\nEnter password: ";
constexpr std::string_view ReadyLine = "\r\nloads3\r\nReady. Send the S-record file now.\r\n";
constexpr std::string_view Spinner = "|/-\\";
// Every so many progress updates one is a plain line rather than a carriage-return overwrite.
constexpr std::size_t PlainProgressEvery = 8;

std::string Padded(std::size_t value, int width)
{
    char text[32];
    std::snprintf(text, sizeof text, "%*zu", width, value);
    return text;
}

bool Every(std::size_t count, int period)
{
    return period > 0 && count % static_cast<std::size_t>(period) == 0;
}

bool Reached(std::size_t count, int k)
{
    return k > 0 && count == static_cast<std::size_t>(k);
}

} // namespace

TDeviceDialogue::TDeviceDialogue(TDeviceDialogueOptions options) : options_(options) {}

void TDeviceDialogue::Receive(std::string_view bytes, std::vector<std::string>& replies)
{
    replies_ = &replies;
    for (char c : bytes) {
        if (state_ == TDeviceState::HungUp) break;
        if (refused_) ++bytesAfterRefusal_;
        if (c == '\n' && lastWasCr_) { // CR LF is one line end
            lastWasCr_ = false;
            if (pendingBlankCr_) {
                // Init's CR LF on a blank line: the operator gave up on this load.
                pendingBlankCr_ = false;
                Say("\r\nLoad abandoned\r\n");
                ShowMenu(true);
            }
            continue;
        }
        pendingBlankCr_ = false;
        lastWasCr_ = c == '\r';
        if (c == '\r' || c == '\n')
            OnLineEnd(c);
        else
            OnChar(c);
    }
    replies_ = nullptr;
}

void TDeviceDialogue::OnChar(char c)
{
    switch (state_) {
    case TDeviceState::Menu:
        if (c >= '0' && c <= '9') OnMenuChoice(c);
        break;
    case TDeviceState::Password:
        passwordTyped_ += c;
        if (passwordTyped_ == Password) {
            passwordTyped_.clear();
            state_ = TDeviceState::Loading;
            sessionRecords_ = sessionDataBytes_ = progressCount_ = spinnerIndex_ = 0;
            line_.clear();
            lineOverflow_ = false;
            Say(std::string(ReadyLine));
        } else if (passwordTyped_.size() >= Password.size()) {
            passwordTyped_.clear();
            Say("\r\nWrong password" + std::string(PasswordPrompt));
        }
        break;
    case TDeviceState::Loading:
    case TDeviceState::Refusing:
        if (line_.size() < MaxLineLength)
            line_ += c;
        else
            lineOverflow_ = true;
        break;
    case TDeviceState::Idle:
    case TDeviceState::HungUp:
        break;
    }
}

void TDeviceDialogue::OnLineEnd(char c)
{
    const bool blank = line_.empty() && !lineOverflow_;
    switch (state_) {
    case TDeviceState::Idle:
    case TDeviceState::Menu:
        ShowMenu(true);
        break;
    case TDeviceState::Password:
        if (passwordTyped_.empty()) {
            ShowMenu(true);
        } else {
            passwordTyped_.clear();
            Say("\r\nWrong password" + std::string(PasswordPrompt));
        }
        break;
    case TDeviceState::Loading:
        // Blank lines between records are skipped; only CR LF after some records (Init) leaves.
        if (blank) {
            pendingBlankCr_ = c == '\r' && sessionRecords_ > 0;
            break;
        }
        OnRecord();
        break;
    case TDeviceState::Refusing:
        if (blank) ShowMenu(true);
        break;
    case TDeviceState::HungUp:
        break;
    }
    line_.clear();
    lineOverflow_ = false;
}

void TDeviceDialogue::OnMenuChoice(char digit)
{
    if (digit == '1' || digit == '2') {
        state_ = TDeviceState::Password;
        passwordTyped_.clear();
        Say(std::string(1, digit) +
            (digit == '1' ? "\r\nFlash boot loader" : "\r\nFlash firmware") +
            std::string(PasswordPrompt));
        return;
    }
    Say(std::string(1, digit) + "\r\nOption " + digit + " not available");
    ShowMenu(false);
}

void TDeviceDialogue::OnRecord()
{
    const std::size_t k = ++recordsReceived_;
    ++sessionRecords_;
    if (Reached(k, options_.HangUpAtRecord)) {
        state_ = TDeviceState::HungUp;
        return;
    }
    if (options_.SilenceFromRecord > 0 && k >= static_cast<std::size_t>(options_.SilenceFromRecord))
        silent_ = true;
    if (Reached(k, options_.ErreurAtRecord)) return Fail("Flash write failed");
    if (lineOverflow_) return Fail("Record too long");

    TSRecord record;
    try {
        record = ParseSRecord(line_);
    } catch (const ESRecord& error) {
        return Fail(error.what());
    }
    if (IsSRecordData(record.Type)) {
        for (std::size_t i = 0; i < record.Data.size(); ++i)
            image_[static_cast<uint32_t>(record.Address + i)] = record.Data[i];
        sessionDataBytes_ += record.Data.size();
    }
    if (IsSRecordTermination(record.Type)) {
        ++completedLoads_;
        Say("\r\nLoad complete - " + std::to_string(sessionRecords_) + " records, " +
            std::to_string(sessionDataBytes_) + " data bytes\r\n");
        ShowMenu(false);
        return;
    }
    Acknowledge();
}

void TDeviceDialogue::Acknowledge()
{
    if (Every(sessionRecords_, options_.ProgressEvery)) {
        // Every progress text is at least 12 characters, so that one answer is always enough
        // to end the sender's wait for the device.
        if (++progressCount_ % PlainProgressEvery == 0)
            Say("Loaded " + std::to_string(sessionRecords_) + " records, " +
                std::to_string(sessionDataBytes_) + " bytes\r\n");
        else
            Say("\rRecords " + Padded(sessionRecords_, 6) + " OK");
    } else if (Every(sessionRecords_, options_.AnswerEvery)) {
        Say(std::string{'\b', Spinner[spinnerIndex_++ % Spinner.size()]});
    }
}

void TDeviceDialogue::Fail(const std::string& reason)
{
    state_ = TDeviceState::Refusing;
    refused_ = true;
    Say("\r\nERREUR record " + std::to_string(sessionRecords_) + " - " + reason +
        " - load stopped\r\n");
}

void TDeviceDialogue::ShowMenu(bool withBanner)
{
    state_ = TDeviceState::Menu;
    passwordTyped_.clear();
    Say((withBanner ? std::string(Banner) : std::string()) + std::string(Menu));
}

void TDeviceDialogue::Say(std::string text)
{
    if (!silent_ && replies_ != nullptr) replies_->push_back(std::move(text));
}
