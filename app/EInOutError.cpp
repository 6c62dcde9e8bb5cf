#include "app/EInOutError.h"

#include <QCoreApplication>
#include <QString>

#include <cerrno>

namespace {

// The runtime's I/O texts are translated at the point the message is built, so the
// catalogue in force at that moment decides the language.
QString RunTimeText(const char* text)
{
    return QCoreApplication::translate("RunTime", text);
}

} // namespace

std::string InOutErrorText(int errnoValue)
{
    switch (errnoValue) {
    case ENOENT:
        return RunTimeText("File not found").toStdString();
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
        return RunTimeText("Invalid file name").toStdString();
    case EMFILE:
    case ENFILE:
        return RunTimeText("Too many open files").toStdString();
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
        return RunTimeText("File access denied").toStdString();
    case ENOSPC:
        return RunTimeText("Disk full").toStdString();
    default: {
        // The catalogue knows the text with its printf placeholder; fill it in afterwards.
        QString text = RunTimeText("I/O error %d");
        text.replace(QStringLiteral("%d"), QString::number(errnoValue));
        return text.toStdString();
    }
    }
}

EInOutError EInOutError::FromErrno(int errnoValue)
{
    return EInOutError(errnoValue, InOutErrorText(errnoValue));
}
