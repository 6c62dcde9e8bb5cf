// Whatever arrives on the line: the dialogue must neither crash nor misbehave, and every record
// the parser accepts must format back to a record that parses the same.
#include "firmware/SRecord.h"
#include "sim/TDeviceDialogue.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

void CheckRoundTrip(std::string_view line)
{
    TSRecord record;
    try {
        record = ParseSRecord(line);
    } catch (const EInOutError&) {
        return;
    }
    const TSRecord again = ParseSRecord(FormatSRecord(record));
    if (again.Type != record.Type || again.Address != record.Address || again.Data != record.Data)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2) return 0;
    // The first two bytes choose the fault options and how the rest is cut into reads.
    TDeviceDialogueOptions options;
    options.AnswerEvery = data[0] & 3;
    options.ProgressEvery = (data[0] >> 2) & 7;
    options.ErreurAtRecord = (data[0] >> 5) & 7;
    options.HangUpAtRecord = data[1] & 7;
    options.SilenceFromRecord = (data[1] >> 3) & 7;
    const std::size_t piece = 1 + (data[1] >> 6) * 7;
    const std::string_view input(reinterpret_cast<const char*>(data + 2), size - 2);

    TDeviceDialogue device(options);
    std::vector<std::string> replies;
    for (std::size_t at = 0; at < input.size(); at += piece) {
        const bool wasHungUp = device.State() == TDeviceState::HungUp;
        replies.clear();
        device.Receive(input.substr(at, piece), replies);
        if (wasHungUp && !replies.empty()) std::abort(); // a hung-up device stays silent
    }

    std::size_t start = 0;
    for (std::size_t i = 0; i <= input.size(); ++i) {
        if (i == input.size() || input[i] == '\r' || input[i] == '\n') {
            CheckRoundTrip(input.substr(start, i - start));
            start = i + 1;
        }
    }
    return 0;
}
