// tarvel.exe: the window on Windows. The same command line as on Linux; --help, --version and
// --list-ports answer on the console that started it.

#include "i18n/TLocalizationModule.h"
#include "options/TOptionReader.h"
#include "serial/SerialPortList.h"
#include "window/CommandLine.h"
#include "windows/TWin32EventLoop.h"
#include "windows/TWin32Form1.h"
#include "windows/TWin32Settings.h"
#include "windows/WideText.h"

#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Arguments()
{
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int i = 1; i < count; ++i)
        arguments.push_back(Utf8(wide[i]));
    ::LocalFree(wide);
    return arguments;
}

// A window program has no console of its own: it writes to the one that started it, if any.
void Say(const std::string& text, bool error = false)
{
    const DWORD which = error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE;
    HANDLE out = ::GetStdHandle(which);
    if (out == nullptr || out == INVALID_HANDLE_VALUE) {
        if (::AttachConsole(ATTACH_PARENT_PROCESS)) out = ::GetStdHandle(which);
    }
    if (out == nullptr || out == INVALID_HANDLE_VALUE) {
        if (error) ::MessageBoxW(nullptr, Wide(text).c_str(), L"Tarvel", MB_OK | MB_ICONERROR);
        return;
    }
    DWORD written = 0;
    ::WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

std::optional<int> RunWithoutWindow(const TCommandLineOptions& options)
{
    if (options.Help) {
        Say(CommandLineHelp("tarvel"));
        return 0;
    }
    if (options.Version) {
        Say(VersionText() + "\n");
        return 0;
    }
    if (options.ListPorts) {
        const std::vector<TPortListing> ports = DescribeSerialPorts();
        std::string listing;
        for (const TPortListing& port : ports)
            listing += port.Path + "  " + port.Description + "\n";
        Say(listing);
        if (ports.empty()) Say("No serial devices found.\n", true);
        return 0;
    }
    if (options.Demo) {
        Say("tarvel: the simulated device runs on Linux; link a COM port to it instead\n", true);
        return 2;
    }
    return std::nullopt;
}

// The port chosen last time, and the switches, from the registry; every change goes back there.
void Remember(TWin32Form1& form, TWin32Settings& settings, const TCommandLineOptions& options)
{
    if (options.DevicePaths.empty())
        if (const auto port = settings.Text(L"Port")) form.Model.SelectPort(Utf8(*port));
    form.Model.RememberPort = [&settings](const std::string& path) {
        settings.SetText(L"Port", Wide(path));
    };
    form.Model.SetReconnectAutomatically(settings.Number(L"Reconnect").value_or(1) != 0);
    form.Model.RememberReconnect = [&settings](bool on) { settings.SetNumber(L"Reconnect", on); };
    if (const auto folder = settings.Text(L"LogFolder")) form.Model.SessionLog.SetFolder(*folder);
    if (const auto days = settings.Number(L"LogDays"); days && *days > 0)
        form.Model.SessionLog.SetDaysToKeep(static_cast<int>(*days));
    form.Model.SetLogEverySession(settings.Number(L"LogEverySession").value_or(0) != 0);
    TSessionLog::Prune(form.Model.SessionLog.Folder(), form.Model.SessionLog.DaysToKeep(),
                       std::filesystem::file_time_type::clock::now());
    form.Model.RememberLogEverySession = [&settings](bool on) {
        settings.SetNumber(L"LogEverySession", on);
    };
}

} // namespace

int main()
{
    TLocalizationModule localization(
        {.ExecutablePath = {},
         .ReportError = [](const std::string& m) { Say("tarvel: " + m + "\n", true); }});
    TCommandLineOptions options;
    try {
        options = ParseCommandLine(Arguments());
    } catch (const EUsage& error) {
        std::ostringstream text;
        const int code = ReportUsageError(text, "tarvel", error);
        Say(text.str(), true);
        return code;
    }
    if (auto exitCode = RunWithoutWindow(options)) return *exitCode;

    // The transfer paces itself in milliseconds; Windows' default timer ticks every 15.6 ms.
    struct TTimerPeriod
    {
        TTimerPeriod() { ::timeBeginPeriod(1); }
        ~TTimerPeriod() { ::timeEndPeriod(1); }
    } timerPeriod;
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    try {
        TWin32Settings settings;
        TWin32Form1 form;
        for (const auto& [port, path] : options.DevicePaths)
            form.Model.ComPort.SetDevicePath(port, path);
        Remember(form, settings, options);
        TWin32EventLoop::SetPreTranslate(
            [&form](MSG& message) { return form.PreTranslate(message); });
        form.Show(SW_SHOWNORMAL);
        const int code = TWin32EventLoop::Run();
        TWin32EventLoop::SetPreTranslate({});
        return code;
    } catch (const std::exception& error) {
        Say(std::string("tarvel: ") + error.what() + "\n", true);
        return 1;
    }
}
