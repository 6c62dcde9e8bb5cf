#include "window/CommandLine.h"
#include "app/ProgramSetup.h"
#include "app/TApplication.h"
#include "app/TErrorReport.h"
#include "app/TForm1.h"
#include "i18n/TLocalizationModule.h"
#include "i18n/qt/TQtLocalization.h"
#include "serial/SerialPortList.h"
#include "sim/TSimulatedDevice.h"

#include <QCoreApplication>

#include <algorithm>
#include <iostream>
#include <memory>
#include <optional>
#include <vector>

namespace {

std::vector<std::string> Arguments(int argc, char** argv)
{
    return {argv + 1, argv + argc};
}

// Answers the options that need no window; returns an exit code when the program is done.
std::optional<int> RunWithoutWindow(const TCommandLineOptions& options)
{
    if (options.Help) {
        std::cout << CommandLineHelp("tarvel");
        return 0;
    }
    if (options.Version) {
        std::cout << VersionText() << '\n';
        return 0;
    }
    if (options.ListPorts) {
        const std::vector<TPortListing> ports = DescribeSerialPorts();
        for (const TPortListing& port : ports)
            std::cout << port.Path << "  " << port.Description << '\n';
        if (ports.empty()) std::cerr << "No serial devices found.\n";
        return 0;
    }
    return std::nullopt;
}

bool MayHoldQtOptions(const std::vector<std::string>& arguments)
{
    return std::any_of(arguments.begin(), arguments.end(), [](const std::string& argument) {
        return argument.size() > 2 && argument[0] == '-' && argument[1] != '-';
    });
}

// A catalogue that cannot be used must not stop the program: it says why and runs untranslated.
void ReportLocalizationError(const std::string& message)
{
    std::cerr << "tarvel: " << message << '\n';
    if (QCoreApplication::instance()) TErrorReport::Show(message);
}

} // namespace

int main(int argc, char** argv)
{
    // Localization starts first; from the application object on, Qt's texts pass through it.
    TLocalizationModule localization(
        {.ExecutablePath = {}, .ReportError = ReportLocalizationError});

    // --help, --version, --list-ports and a wrong command line need no display. Qt's own options
    // (single dash, e.g. -platform) are only known once the application object has taken them out.
    const std::vector<std::string> arguments = Arguments(argc, argv);
    try {
        if (auto exitCode = RunWithoutWindow(ParseCommandLine(arguments))) return *exitCode;
    } catch (const EUsage& error) {
        if (!MayHoldQtOptions(arguments)) return ReportUsageError(std::cerr, "tarvel", error);
    }

    TApplication app(argc, argv);
    TQtLocalization qtLocalization; // before any window exists
    TCommandLineOptions options;
    try {
        options = ParseCommandLine(Arguments(argc, argv));
    } catch (const EUsage& error) {
        return ReportUsageError(std::cerr, "tarvel", error);
    }
    if (auto exitCode = RunWithoutWindow(options)) return *exitCode;

    // The simulated device outlives the window, whose port is open on it until the end.
    std::unique_ptr<TSimulatedDevice> demoDevice;
    if (options.Demo) {
        try {
            demoDevice = std::make_unique<TSimulatedDevice>();
        } catch (const std::exception& error) {
            std::cerr << "tarvel: cannot start the simulated device: " << error.what() << '\n';
            return 1;
        }
    }

    TForm1 form;
    ApplyPortDevicePaths(form,
                         PortDevicePaths(options, demoDevice ? demoDevice->DevicePath() : ""));
    RememberChosenPort(form, options);
    RememberSessionLog(form);
    RememberTerminalSwitches(form);
    form.show();
    return app.exec();
}
