// tarvel-devsim: a simulated device on a pseudo-terminal, for trying Tarvel without hardware.

#include "sim/DevSimCommandLine.h"
#include "sim/SRecordGenerator.h"
#include "sim/TSimulatedDevice.h"
#include "system/TFileDescriptor.h"
#include "system/TWakeUpEvent.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <poll.h>
#include <sys/signalfd.h>
#include <vector>

namespace {

void DumpImage(const TSimulatedDevice& device, const std::string& path)
{
    TSRecordFileOptions options;
    options.Header = "tarvel-devsim image";
    const std::string text = GenerateSRecordFile(device.LoadedImage(), options);
    const std::string temporary = path + ".tmp";
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        file << text;
        if (!file.flush()) {
            std::cerr << "tarvel-devsim: cannot write " << temporary << "\n";
            return;
        }
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0)
        std::cerr << "tarvel-devsim: cannot write " << path << "\n";
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string_view> arguments(argv + 1, argv + argc);
    TDevSimCommandLine commandLine;
    if (const std::optional<int> exitCode = ReadCommandLine(commandLine, "tarvel-devsim", arguments,
                                                            ParseDevSimCommandLine, DevSimUsage))
        return *exitCode;

    try {
        // Signals are taken through a descriptor; block them before the device thread exists so
        // that it inherits the mask.
        sigset_t signals;
        sigemptyset(&signals);
        sigaddset(&signals, SIGINT);
        sigaddset(&signals, SIGTERM);
        sigaddset(&signals, SIGHUP);
        pthread_sigmask(SIG_BLOCK, &signals, nullptr);
        TFileDescriptor signalFd(::signalfd(-1, &signals, SFD_CLOEXEC));
        TWakeUpEvent events;
        if (!signalFd.Valid()) {
            std::perror("tarvel-devsim");
            return 1;
        }
        commandLine.Device.OnLoadComplete = [&events] { events.Raise(); };
        commandLine.Device.OnHangUp = [&events] { events.Raise(); };

        if (commandLine.RandomFault)
            std::cerr << "tarvel-devsim: " << Describe(*commandLine.RandomFault) << "\n";
        TSimulatedDevice device(commandLine.Device);
        std::cout << device.DevicePath() << std::endl;

        for (;;) {
            pollfd fds[2] = {{signalFd.Get(), POLLIN, 0}, {events.Descriptor(), POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0) {
                if (errno == EINTR) continue;
                std::perror("tarvel-devsim");
                break;
            }
            if (fds[0].revents != 0) break;
            events.Clear();
            if (device.HungUp()) {
                std::cerr << "tarvel-devsim: hung up (fault injected)\n";
                break;
            }
            std::cerr << "tarvel-devsim: load complete, " << device.LoadedImage().size()
                      << " bytes in the image\n";
            if (!commandLine.DumpImagePath.empty()) DumpImage(device, commandLine.DumpImagePath);
        }
        if (!commandLine.DumpImagePath.empty()) DumpImage(device, commandLine.DumpImagePath);
        if (const std::string error = device.ThreadError(); !error.empty()) {
            std::cerr << "tarvel-devsim: " << error << "\n";
            return 1;
        }
    } catch (const std::exception& error) {
        std::cerr << "tarvel-devsim: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
