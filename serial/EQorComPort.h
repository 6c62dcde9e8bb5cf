#pragma once

#include <stdexcept>
#include <string>

// The serial component's error: open failures and use of a closed port.
class EQorComPort : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};
