#include "sim/TDeviceDialogue.h"

#include "firmware/SRecord.h"

#include <algorithm>
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
// What the loaded firmware says when it starts; a rig checks it after flashing.
constexpr std::string_view SerialPrompt = "\r\nSerial number? ";
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

TDeviceDialogue::TDeviceDialogue(TDeviceDialogueOptions options)
    : fOptions(options), fStrayState(options.StrayBytesSeed)
{
}

void TDeviceDialogue::Receive(std::string_view bytes, std::vector<std::string>& replies)
{
    fReplies = &replies;
    for (char c : bytes) {
        if (fState == TDeviceState::HungUp) break;
        if (fRefused) ++fBytesAfterRefusal;
        if (fRestarted) ++fBytesAfterRestart;
        if (c == '\n' && fLastWasCr) { // CR LF is one line end
            fLastWasCr = false;
            if (fPendingBlankCr) {
                // Init's CR LF on a blank line: the operator gave up on this load.
                fPendingBlankCr = false;
                Say("\r\nLoad abandoned\r\n");
                ShowMenu(true);
            }
            continue;
        }
        fPendingBlankCr = false;
        fLastWasCr = c == '\r';
        if (c == '\r' || c == '\n')
            OnLineEnd(c);
        else
            OnChar(c);
    }
    fReplies = nullptr;
}

void TDeviceDialogue::OnChar(char c)
{
    switch (fState) {
    case TDeviceState::Menu:
        if (c >= '0' && c <= '9') OnMenuChoice(c);
        break;
    case TDeviceState::Password:
        fPasswordTyped += c;
        if (fPasswordTyped == Password) {
            fPasswordTyped.clear();
            fState = TDeviceState::Loading;
            fSessionRecords = fSessionDataBytes = fProgressCount = fSpinnerIndex = 0;
            fLine.clear();
            fLineOverflow = false;
            Say(std::string(ReadyLine));
        } else if (fPasswordTyped.size() >= Password.size()) {
            fPasswordTyped.clear();
            Say("\r\nWrong password" + std::string(PasswordPrompt));
        }
        break;
    case TDeviceState::Loading:
    case TDeviceState::Refusing:
    case TDeviceState::Running:
        if (fLine.size() < MaxLineLength)
            fLine += c;
        else
            fLineOverflow = true;
        break;
    case TDeviceState::Idle:
    case TDeviceState::HungUp:
        break;
    }
}

void TDeviceDialogue::OnLineEnd(char c)
{
    const bool blank = fLine.empty() && !fLineOverflow;
    switch (fState) {
    case TDeviceState::Idle:
    case TDeviceState::Menu:
        ShowMenu(true);
        break;
    case TDeviceState::Password:
        if (fPasswordTyped.empty()) {
            ShowMenu(true);
        } else {
            fPasswordTyped.clear();
            Say("\r\nWrong password" + std::string(PasswordPrompt));
        }
        break;
    case TDeviceState::Loading:
        // Blank lines between records are skipped; only CR LF after some records (Init) leaves.
        if (blank) {
            fPendingBlankCr = c == '\r' && fSessionRecords > 0;
            break;
        }
        OnRecord();
        break;
    case TDeviceState::Refusing:
        if (blank) ShowMenu(true);
        break;
    case TDeviceState::Running:
        // Init's line end on a running board stands for the rig resetting it into its loader.
        if (blank)
            ShowMenu(true);
        else
            OnApplicationLine();
        break;
    case TDeviceState::HungUp:
        break;
    }
    fLine.clear();
    fLineOverflow = false;
}

void TDeviceDialogue::OnMenuChoice(char digit)
{
    if (digit == '1' || digit == '2') {
        fState = TDeviceState::Password;
        fPasswordTyped.clear();
        Say(std::string(1, digit) +
            (digit == '1' ? "\r\nFlash boot loader" : "\r\nFlash firmware") +
            std::string(PasswordPrompt));
        return;
    }
    if (digit == '3') {
        Say("3\r\nFirmware " + ImageSummary() + "\r\n");
    } else if (digit == '4' && !fImage.empty()) {
        fState = TDeviceState::Running;
        fLine.clear();
        fLineOverflow = false;
        Say("4\r\nStarting firmware\r\nDemo application 1.0, " + ImageSummary() +
            std::string(SerialPrompt));
        return;
    } else {
        Say(std::string(1, digit) + "\r\nOption " + digit + " not available");
    }
    ShowMenu(false);
}

void TDeviceDialogue::OnApplicationLine()
{
    Say("\r\nSerial number " + fLine + " stored" + std::string(SerialPrompt));
    fLine.clear();
    fLineOverflow = false;
}

std::string TDeviceDialogue::ImageSummary() const
{
    if (fImage.empty()) return "none loaded";
    std::uint32_t sum = 0;
    for (const auto& [address, byte] : fImage)
        sum += byte;
    char text[64];
    std::snprintf(text, sizeof text, "%zu bytes, sum 0x%08X", fImage.size(), sum);
    return text;
}

void TDeviceDialogue::OnRecord()
{
    const std::size_t k = ++fRecordsReceived;
    ++fSessionRecords;
    if (Reached(k, fOptions.HangUpAtRecord)) {
        fState = TDeviceState::HungUp;
        return;
    }
    if (fOptions.SilenceFromRecord > 0 && k >= static_cast<std::size_t>(fOptions.SilenceFromRecord))
        fSilent = true;
    if (Reached(k, fOptions.RestartAtRecord)) {
        // The record is lost with everything loaded since power-up counted for nothing.
        fRestarted = true;
        ShowMenu(true);
        return;
    }
    if (Reached(k, fOptions.ErreurAtRecord)) return Fail("Flash write failed");
    if (fLineOverflow) return Fail("Record too long");

    TSRecord record;
    try {
        record = ParseSRecord(fLine);
    } catch (const EInOutError& error) {
        return Fail(error.what());
    }
    if (IsSRecordData(record.Type)) {
        for (std::size_t i = 0; i < record.Data.size(); ++i)
            fImage[static_cast<uint32_t>(record.Address + i)] = record.Data[i];
        fSessionDataBytes += record.Data.size();
    }
    if (IsSRecordTermination(record.Type)) {
        ++fCompletedLoads;
        Say("\r\nLoad complete - " + std::to_string(fSessionRecords) + " records, " +
            std::to_string(fSessionDataBytes) + " data bytes\r\n");
        ShowMenu(false);
        return;
    }
    Acknowledge();
}

void TDeviceDialogue::Acknowledge()
{
    if (fOptions.LongAnswerBytes > 0) {
        std::string line =
            "\r\nRecord " + std::to_string(fSessionRecords) + " written and verified ";
        line.resize(std::max(line.size(), static_cast<std::size_t>(fOptions.LongAnswerBytes)), '.');
        Say(WithStrayBytes(std::move(line)));
        return;
    }
    if (Every(fSessionRecords, fOptions.ProgressEvery)) {
        // Every progress text is at least 12 characters, so that one answer is always enough
        // to end the sender's wait for the device.
        if (++fProgressCount % PlainProgressEvery == 0)
            Say(WithStrayBytes("Loaded " + std::to_string(fSessionRecords) + " records, " +
                               std::to_string(fSessionDataBytes) + " bytes\r\n"));
        else
            Say(WithStrayBytes("\rRecords " + Padded(fSessionRecords, 6) + " OK"));
    } else if (Every(fSessionRecords, fOptions.AnswerEvery)) {
        Say(WithStrayBytes(std::string{'\b', Spinner[fSpinnerIndex++ % Spinner.size()]}));
    }
}

void TDeviceDialogue::Fail(const std::string& reason)
{
    fState = TDeviceState::Refusing;
    fRefused = true;
    Say("\r\nERREUR record " + std::to_string(fSessionRecords) + " - " + reason +
        " - load stopped\r\n");
}

void TDeviceDialogue::ShowMenu(bool withBanner)
{
    fState = TDeviceState::Menu;
    fPasswordTyped.clear();
    Say((withBanner ? std::string(Banner) : std::string()) + std::string(Menu));
}

std::string TDeviceDialogue::WithStrayBytes(std::string text)
{
    if (fOptions.StrayBytesSeed == 0) return text;
    // Line noise: now and then one to three bytes of any value at a random place.
    const auto next = [this] {
        fStrayState = fStrayState * 1664525u + 1013904223u;
        return fStrayState >> 8;
    };
    if (next() % 3 != 0) return text;
    const std::size_t count = 1 + next() % 3;
    for (std::size_t i = 0; i < count; ++i)
        text.insert(text.begin() + static_cast<std::ptrdiff_t>(next() % (text.size() + 1)),
                    static_cast<char>(next() & 0xFF));
    return text;
}

void TDeviceDialogue::Say(std::string text)
{
    if (!fSilent && fReplies != nullptr) fReplies->push_back(std::move(text));
}
