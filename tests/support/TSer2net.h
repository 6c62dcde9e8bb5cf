#pragma once
// A real ser2net serving one local device on loopback, started for a test: the port across the
// network that the tests open as rfc2217:// or tcp://. Its own line settings are not Tarvel's
// (9600 7E1), so that a line at 115200 8N1 shows Tarvel's settings reached the device.

#include <string>
#include <sys/types.h>
#include <vector>

class TSer2net
{
public:
    // Whether the program is installed; tests skip without it.
    static bool Available();

    explicit TSer2net(const std::string& devicePath) : TSer2net(std::vector{devicePath}) {}
    // One server for several devices, each on a port of its own.
    explicit TSer2net(const std::vector<std::string>& devicePaths);
    ~TSer2net(); // stops the server
    TSer2net(const TSer2net&) = delete;
    TSer2net& operator=(const TSer2net&) = delete;

    // rfc2217://127.0.0.1:PORT and tcp://127.0.0.1:PORT of the device-th device
    std::string Rfc2217Url(std::size_t device = 0) const;
    std::string TcpUrl(std::size_t device = 0) const;
    // The server dies at once, connections and all (a crash, a power cut at the far end).
    void Kill();

private:
    pid_t fPid = -1;
    std::vector<int> fRfc2217Ports;
    std::vector<int> fTcpPorts;
    std::string fConfig;
};
