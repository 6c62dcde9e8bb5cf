#pragma once
#include <stdexcept>
#include <string>

// Raised when a catalogue answers with a text that cannot be used (not UTF-8, or empty).
class ETranslationError : public std::runtime_error
{
public:
    explicit ETranslationError(const std::string& message) : std::runtime_error(message) {}
};
