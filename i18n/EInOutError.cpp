#include "i18n/EInOutError.h"

#include "i18n/TLocalizationModule.h"

#include <cerrno>
#include <exception>

namespace {

// The runtime's I/O texts are translated at the point the message is built, so the
// catalogue in force at that moment decides the language. A damaged catalogue has been
// reported at start-up; the error is then told in the source text.
std::string RunTimeText(const char* text)
{
    try {
        return TranslateResourceString(text);
    } catch (const std::exception&) {
        return text;
    }
}

} // namespace

std::string InOutErrorText(int errnoValue)
{
    switch (errnoValue) {
    case ENOENT:
        return RunTimeText("File not found");
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
        return RunTimeText("Invalid file name");
    case EMFILE:
    case ENFILE:
        return RunTimeText("Too many open files");
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
        return RunTimeText("File access denied");
    case ENOSPC:
        return RunTimeText("Disk full");
    default: {
        // The catalogue knows the text with its printf placeholder; fill it in afterwards.
        std::string text = RunTimeText("I/O error %d");
        if (const auto at = text.find("%d"); at != std::string::npos)
            text.replace(at, 2, std::to_string(errnoValue));
        return text;
    }
    }
}

EInOutError EInOutError::FromErrno(int errnoValue)
{
    return EInOutError(errnoValue, InOutErrorText(errnoValue));
}
