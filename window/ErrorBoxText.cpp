#include "window/ErrorBoxText.h"

std::string ErrorBoxText(std::string_view message)
{
    // The rule is for the message; lines that explain it follow as they are.
    const std::size_t firstLineEnd = message.find('\n');
    if (firstLineEnd != std::string_view::npos)
        return ErrorBoxText(message.substr(0, firstLineEnd)) +
               std::string(message.substr(firstLineEnd));
    std::string text(message);
    // Characters compare as unsigned bytes: every accented or multi-byte character sorts above '.'.
    if (!text.empty() && static_cast<unsigned char>(text.back()) > static_cast<unsigned char>('.'))
        text += '.';
    return text;
}
