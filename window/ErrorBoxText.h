#pragma once
#include <string>
#include <string_view>

// The text the error box shows for an error message: the message, plus a full stop when its
// last character sorts above '.' (so "Port not open" gains one, "...port 'x'" does not).
// In a message of several lines the rule applies to the first.
std::string ErrorBoxText(std::string_view message);
