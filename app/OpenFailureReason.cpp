#include "app/OpenFailureReason.h"

#include "serial/PosixDeviceUsers.h"

#include <QCoreApplication>

#include <cerrno>
#include <cstring>

namespace {
QString Tr(const char* text)
{
    return QCoreApplication::translate("Serial", text);
}
} // namespace

QString OpenFailureReason(const std::string& path, int error)
{
    switch (error) {
    case EACCES:
    case EPERM: {
        const QString group = QString::fromStdString(DeviceGroupName(path).value_or("dialout"));
        return Tr("Permission denied: add your user to the group '%1' "
                  "(sudo usermod -aG %1 $USER), then log out and in again.")
            .arg(group);
    }
    case EBUSY:
    case EWOULDBLOCK:
        if (const auto holder = FindDeviceHolder(path))
            return Tr("It is in use by another program: %1 (process %2).")
                .arg(QString::fromStdString(holder->Program))
                .arg(holder->Pid);
        return Tr("It is in use by another program.");
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return Tr("Nothing is plugged in there; tarvel --list-ports lists what is present.");
    case ENOTTY:
        return Tr("It is not a serial port.");
    case 0:
        return {};
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
}
