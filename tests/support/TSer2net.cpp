#include "tests/support/TSer2net.h"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

constexpr const char* Program = "/usr/sbin/ser2net";

// A port nobody uses now: the kernel's choice for a socket bound to port 0.
int FreePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), length);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

// Listening, as the kernel's table of TCP sockets says; looked at rather than connected to, since
// a connection makes ser2net open the device.
bool Listening(int port)
{
    char wanted[16];
    std::snprintf(wanted, sizeof wanted, ":%04X", port);
    std::ifstream table("/proc/net/tcp");
    std::string local, remote, state, rest;
    std::getline(table, rest);
    while (table >> rest >> local >> remote >> state && std::getline(table, rest))
        if (local.ends_with(wanted) && state == "0A") return true;
    return false;
}

} // namespace

bool TSer2net::Available()
{
    return ::access(Program, X_OK) == 0;
}

TSer2net::TSer2net(const std::vector<std::string>& devicePaths)
{
    std::string config;
    for (const std::string& device : devicePaths) {
        fRfc2217Ports.push_back(FreePort());
        fTcpPorts.push_back(FreePort());
        const std::string n = std::to_string(fRfc2217Ports.size());
        config += "connection: &rfc2217-" + n + "\n  accepter: telnet(rfc2217),tcp,127.0.0.1," +
                  std::to_string(fRfc2217Ports.back()) + "\n  connector: serialdev," + device +
                  ",9600e71,local\n  options:\n    chardelay: false\n" + "connection: &raw-" + n +
                  "\n  accepter: tcp,127.0.0.1," + std::to_string(fTcpPorts.back()) +
                  "\n  connector: serialdev," + device + ",115200n81,local\n";
    }
    fConfig = (std::filesystem::temp_directory_path() /
               ("tarvel-ser2net-" + std::to_string(::getpid()) + "-" +
                std::to_string(fRfc2217Ports.front()) + ".yaml"))
                  .string();
    std::ofstream(fConfig) << config;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::string program = Program, detach = "-n", debug = "-d", option = "-c";
    char* argv[] = {program.data(), detach.data(),  debug.data(),
                    option.data(),  fConfig.data(), nullptr};
    const int spawned = ::posix_spawn(&fPid, Program, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) throw std::runtime_error("ser2net did not start");
    const auto allListening = [&] {
        for (std::size_t i = 0; i < fRfc2217Ports.size(); ++i)
            if (!Listening(fRfc2217Ports[i]) || !Listening(fTcpPorts[i])) return false;
        return true;
    };
    for (int i = 0; i < 500 && !allListening(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10)); // nothing to wait on
}

TSer2net::~TSer2net()
{
    Kill();
    std::filesystem::remove(fConfig);
}

void TSer2net::Kill()
{
    if (fPid <= 0) return;
    ::kill(fPid, SIGKILL);
    ::waitpid(fPid, nullptr, 0);
    fPid = -1;
}

std::string TSer2net::Rfc2217Url(std::size_t device) const
{
    return "rfc2217://127.0.0.1:" + std::to_string(fRfc2217Ports.at(device));
}

std::string TSer2net::TcpUrl(std::size_t device) const
{
    return "tcp://127.0.0.1:" + std::to_string(fTcpPorts.at(device));
}
