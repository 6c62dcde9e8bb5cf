#include "app/CommandLine.h"
#include "app/ProgramSetup.h"
#include "app/TApplication.h"
#include "app/TForm1.h"
#include "serial/SerialPortList.h"
#include "sim/TSimulatedDevice.h"

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
        for (const std::string& device : ListSerialPorts())
            std::cout << device << '\n';
        return 0;
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char** argv)
{
    // --help, --version and --list-ports work without a display. A command line that does not
    // parse yet may hold Qt's own options, which the application object takes out first.
    try {
        if (auto exitCode = RunWithoutWindow(ParseCommandLine(Arguments(argc, argv))))
            return *exitCode;
    } catch (const ECommandLine&) {
    }

    TApplication app(argc, argv);
    TCommandLineOptions options;
    try {
        options = ParseCommandLine(Arguments(argc, argv));
    } catch (const ECommandLine& error) {
        std::cerr << "tarvel: " << error.what() << "\nTry 'tarvel --help'.\n";
        return 2;
    }
    if (auto exitCode = RunWithoutWindow(options)) return *exitCode;

    // The simulated device outlives the window, whose port is open on it until the end.
    std::unique_ptr<TSimulatedDevice> demoDevice;
    if (options.Demo) demoDevice = std::make_unique<TSimulatedDevice>();

    TForm1 form;
    ApplyPortDevicePaths(form,
                         PortDevicePaths(options, demoDevice ? demoDevice->DevicePath() : ""));
    form.show();
    return app.exec();
}
