#pragma once

#include <stdexcept>
#include <string>

// The serial component's error: open failures and use of a closed port. ErrorCode() is the
// operating system's error number behind it (errno), 0 when there is none, so whoever shows the
// message can say why without guessing.
class EQorComPort : public std::runtime_error
{
public:
    explicit EQorComPort(const std::string& message, int errorCode = 0)
        : std::runtime_error(message), fErrorCode(errorCode)
    {
    }
    int ErrorCode() const { return fErrorCode; }

private:
    int fErrorCode;
};
