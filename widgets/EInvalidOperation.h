#pragma once
#include <stdexcept>
#include <string>

// Raised when a control is asked for something its current state forbids.
class EInvalidOperation : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};
