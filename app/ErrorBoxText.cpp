#include "app/ErrorBoxText.h"

std::string ErrorBoxText(std::string_view message)
{
    std::string text(message);
    // Characters compare as unsigned bytes: every accented or multi-byte character sorts above '.'.
    if (!text.empty() && static_cast<unsigned char>(text.back()) > static_cast<unsigned char>('.'))
        text += '.';
    return text;
}
