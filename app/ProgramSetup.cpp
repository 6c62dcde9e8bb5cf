#include "app/ProgramSetup.h"

#include "app/TForm1.h"
#include "app/TTerminalView.h"

#include <QSettings>

#include <filesystem>

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
constexpr const char* LogEverySessionKey = "log/every-session";
constexpr const char* LogFolderKey = "log/folder";
constexpr const char* LogDaysKey = "log/days";
constexpr const char* TimestampsKey = "terminal/timestamps";
constexpr const char* SincePreviousKey = "terminal/since-previous-line";
constexpr const char* HexViewKey = "terminal/hex-view";

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

void RememberSessionLog(TForm1& form)
{
    QSettings settings = Settings();
    const QString folder = settings.value(LogFolderKey).toString();
    if (!folder.isEmpty())
        form.SessionLog.SetFolder(std::filesystem::path(folder.toStdU16String()));
    const int days = settings.value(LogDaysKey, TSessionLog::DefaultDaysToKeep).toInt();
    if (days > 0) form.SessionLog.SetDaysToKeep(days);
    form.SetLogEverySession(settings.value(LogEverySessionKey, false).toBool());
    TSessionLog::Prune(form.SessionLog.Folder(), form.SessionLog.DaysToKeep(),
                       std::filesystem::file_time_type::clock::now());
    form.RememberSessionLog = [&form] {
        QSettings changed = Settings();
        changed.setValue(LogEverySessionKey, form.SessionLog.Enabled());
        changed.setValue(LogFolderKey,
                         QString::fromStdU16String(form.SessionLog.Folder().u16string()));
        changed.setValue(LogDaysKey, form.SessionLog.DaysToKeep());
    };
}

void RememberTerminalSwitches(TForm1& form)
{
    TTerminalView& terminal = *form.reTerminal;
    QSettings settings = Settings();
    terminal.SetShowTimestamps(settings.value(TimestampsKey, false).toBool());
    terminal.SetTimeSincePrevious(settings.value(SincePreviousKey, false).toBool());
    terminal.SetHexView(settings.value(HexViewKey, false).toBool());
    terminal.OnSwitched = [&terminal] {
        QSettings changed = Settings();
        changed.setValue(TimestampsKey, terminal.ShowTimestamps());
        changed.setValue(SincePreviousKey, terminal.TimeSincePrevious());
        changed.setValue(HexViewKey, terminal.HexView());
    };
}
