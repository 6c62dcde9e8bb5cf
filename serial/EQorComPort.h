#pragma once

#include <stdexcept>
#include <string>
#include <system_error>

// The serial component's error: open failures and use of a closed port. ErrorCode() is the
// operating system's error number behind it (errno), 0 when there is none, so whoever shows the
// message can say why without guessing. A cause no errno value says (a Windows code without a
// match) is SystemError(), and the message ends with the system's own text for it.
class EQorComPort : public std::runtime_error
{
public:
    explicit EQorComPort(const std::string& message, int errorCode = 0)
        : std::runtime_error(message), fErrorCode(errorCode)
    {
    }
    EQorComPort(const std::string& message, std::error_code systemError)
        : std::runtime_error(message + ": " + systemError.message()), fErrorCode(0),
          fSystemError(systemError)
    {
    }
    int ErrorCode() const { return fErrorCode; }
    const std::error_code& SystemError() const { return fSystemError; }

private:
    int fErrorCode;
    std::error_code fSystemError;
};
