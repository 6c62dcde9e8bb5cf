#pragma once
#include <array>
#include <cstddef>
#include <string>
#include <string_view>

// The serial library's message texts, translated once at start-up in the domain "default"; its
// start-up also makes the "qorport" catalogue a resource domain.
class TQorPortMessages
{
public:
    static constexpr std::size_t Count = 23;
    static constexpr std::array<std::string_view, Count> SourceTexts{
        "Unable to open com port",
        "WriteFile function failed",
        "ReadFile function failed",
        "Invalid Async parameter",
        "PurgeComm function failed",
        "Unable to get async status",
        "SetCommState function failed",
        "SetCommTimeouts failed",
        "SetupComm function failed",
        "ClearCommError function failed",
        "GetCommModemStatus function failed",
        "EscapeCommFunction function failed",
        "TransmitCommChar function failed",
        "Cannot set property while connected",
        "EnumPorts function failed",
        "Failed to store settings",
        "Failed to load settings",
        "Link (un)registration failed",
        "Cannot change led state if ComPort is selected",
        "Cannot wait for event if event thread is created",
        "WaitForEvent method failed",
        "A component is linked to OnRxBuf event",
        "Registry error",
    };

    // A damaged catalogue does not stop the program: the error goes to the module's error
    // report, translation is switched off and the texts stay untranslated.
    TQorPortMessages();

    const std::string& operator[](std::size_t index) const { return fTexts.at(index); }

private:
    std::array<std::string, Count> fTexts;
};
