#include "app/ProgramSetup.h"

#include "app/TForm1.h"

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
