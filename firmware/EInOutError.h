#pragma once

#include <stdexcept>
#include <string>

// A file could not be opened or read. The message is the runtime's text for the
// failure ("File not found", "File access denied", ...), already translated.
class EInOutError : public std::runtime_error
{
public:
    EInOutError(int errorCode, const std::string& message)
        : std::runtime_error(message), ErrorCode(errorCode)
    {
    }

    // Builds the error for a failed open/read from the errno value it left.
    static EInOutError FromErrno(int errnoValue);

    const int ErrorCode; // the errno value behind the failure
};

// The runtime's text for an errno value, passed through the translator.
std::string InOutErrorText(int errnoValue);
