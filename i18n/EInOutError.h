#pragma once

#include <stdexcept>
#include <string>

// A file could not be opened, read or used: a firmware file, a message catalogue, a record in
// one. For an open or a read the message is the runtime's text for the failure ("File not
// found", "File access denied", ...), already translated.
class EInOutError : public std::runtime_error
{
public:
    EInOutError(int errorCode, const std::string& message)
        : std::runtime_error(message), ErrorCode(errorCode)
    {
    }

    // Builds the error for a failed open/read from the errno value it left.
    static EInOutError FromErrno(int errnoValue);

    // The system's code behind the failure (errno; GetLastError for a Windows call), 0 when the
    // file's content is at fault.
    const int ErrorCode;
};

// The runtime's text for an errno value, passed through the translator.
std::string InOutErrorText(int errnoValue);
