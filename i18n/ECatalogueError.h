#pragma once
#include <stdexcept>
#include <string>

// Raised when a message catalogue exists but cannot be opened, mapped or read.
class ECatalogueError : public std::runtime_error
{
public:
    explicit ECatalogueError(const std::string& message) : std::runtime_error(message) {}
};
