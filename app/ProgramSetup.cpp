#include "app/ProgramSetup.h"

#include "app/TForm1.h"

#include <QSettings>

std::map<int, std::string> PortDevicePaths(const TCommandLineOptions& options,
                                           const std::string& demoDevicePath)
{
    if (options.Demo) return {{1, demoDevicePath}, {2, demoDevicePath}};
    return options.DevicePaths;
}

void ApplyPortDevicePaths(TForm1& form, const std::map<int, std::string>& devicePaths)
{
    for (const auto& [port, path] : devicePaths)
        form.ComPort.SetDevicePath(port, path);
}

namespace {

constexpr const char* ChosenPortKey = "port/device";
constexpr const char* ReconnectKey = "port/reconnect";

QSettings Settings()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, "Tarvel", "Tarvel");
}

} // namespace

void RememberChosenPort(TForm1& form, const TCommandLineOptions& options)
{
    if (!options.Demo && options.DevicePaths.empty()) {
        const QString path = Settings().value(ChosenPortKey).toString();
        if (!path.isEmpty()) form.Model.SelectPort(path.toStdString());
    }
    form.RememberPort = [](const QString& path) { Settings().setValue(ChosenPortKey, path); };
    form.SetReconnectAutomatically(Settings().value(ReconnectKey, true).toBool());
    form.RememberReconnect = [](bool on) { Settings().setValue(ReconnectKey, on); };
}
