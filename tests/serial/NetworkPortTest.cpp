// The component on a port across the network, the test playing the server by script: the
// negotiation, the settings, and firmware bytes 0xFF both ways.
#include "serial/EQorComPort.h"
#include "serial/TQorComPort.h"
#include "system/TFileDescriptor.h"
#include "tests/serial/TestMainThread.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>

using namespace std::string_literals;

namespace {

class ScriptedServer
{
public:
    ScriptedServer() : fListener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(fListener.Get(), reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(fListener.Get(), 1) != 0 ||
            ::getsockname(fListener.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
            throw std::runtime_error("no listening socket");
        fPort = ntohs(address.sin_port);
    }
    std::string Url(const char* scheme) const
    {
        return std::string(scheme) + "://127.0.0.1:" + std::to_string(fPort);
    }
    // Takes the connection and says its first words at once.
    void Accept(const std::string& firstWords)
    {
        fConnection.Reset(::accept4(fListener.Get(), nullptr, nullptr, SOCK_CLOEXEC));
        Send(firstWords);
    }
    void Send(const std::string& bytes)
    {
        ASSERT_EQ(::send(fConnection.Get(), bytes.data(), bytes.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(bytes.size()));
    }
    // What came until it ends with tail (or 10 s passed).
    std::string ReceiveUntil(const std::string& tail)
    {
        while (!fReceived.ends_with(tail)) {
            pollfd fd{fConnection.Get(), POLLIN, 0};
            char buffer[512];
            if (::poll(&fd, 1, 10000) <= 0) break;
            const ssize_t n = ::recv(fConnection.Get(), buffer, sizeof buffer, 0);
            if (n <= 0) break;
            fReceived.append(buffer, static_cast<std::size_t>(n));
        }
        return std::exchange(fReceived, {});
    }
    void Close() { fConnection.Reset(); }

private:
    TFileDescriptor fListener;
    TFileDescriptor fConnection;
    std::uint16_t fPort = 0;
    std::string fReceived;
};

const std::string DoComPort = "\xFF\xFD\x2C";
const std::string EndOfSettings = "\xFF\xFA\x2C\x05\x0B\xFF\xF0"s; // RTS on, the last setting

TEST(NetworkPort, NegotiatesSetsTheLineAndCarries0xFFBothWays)
{
    ScriptedServer server;
    TTestMainThread mainThread;
    TQorComPort port(mainThread);
    std::string received;
    port.SetOnDataAvailable([&](TQorComPort& sender) { received += sender.ReadString(); });
    port.SetBaudrate(9600);
    port.FlowCtrl().SetRxDtrControl(dtrEnable);
    port.FlowCtrl().SetRxRtsControl(rtsEnable);
    port.SetDevicePath(1, server.Url("rfc2217"));
    port.SetPort(1);
    std::thread serverSide([&] { server.Accept(DoComPort); });
    port.SetActive(true);
    serverSide.join();

    const std::string opening = server.ReceiveUntil(EndOfSettings);
    EXPECT_TRUE(opening.starts_with("\xFF\xFB\x00\xFF\xFD\x00"s))
        << testing::PrintToString(opening);
    EXPECT_NE(opening.find("\xFF\xFA\x2C\x01\x00\x00\x25\x80\xFF\xF0"s), std::string::npos)
        << testing::PrintToString(opening); // 9600 baud

    server.Send("S1\xFF\xFF\x02>"s + "\xFF\xFA\x2C\x6B\x30\xFF\xF0"s);
    ASSERT_TRUE(mainThread.PumpUntil([&] { return received.size() >= 5; }));
    EXPECT_EQ(received, "S1\xFF\x02>"s);

    port.WriteString("A\xFF"
                     "B");
    EXPECT_EQ(server.ReceiveUntil("B"), "A\xFF\xFF"
                                        "B");

    // The server going away is the device going away.
    bool lost = false;
    port.SetOnError([&](TQorComPort&, std::uint32_t) { lost = true; });
    server.Close();
    EXPECT_TRUE(mainThread.PumpUntil([&] { return lost; }));
}

TEST(NetworkPort, RawTcpCarriesBytesAsTheyAre)
{
    ScriptedServer server;
    TTestMainThread mainThread;
    TQorComPort port(mainThread);
    std::string received;
    port.SetOnDataAvailable([&](TQorComPort& sender) { received += sender.ReadString(); });
    port.SetDevicePath(1, server.Url("tcp"));
    port.SetPort(1);
    port.SetActive(true);
    server.Accept("\xFF\xFD\x2C"
                  "x");
    ASSERT_TRUE(mainThread.PumpUntil([&] { return received.size() >= 4; }));
    EXPECT_EQ(received, "\xFF\xFD\x2C"
                        "x");
    port.WriteString("\xFF\xFF");
    EXPECT_EQ(server.ReceiveUntil("\xFF\xFF"), "\xFF\xFF");
}

TEST(NetworkPort, AnOpenThatFailsSaysWhy)
{
    std::string url;
    {
        const ScriptedServer gone; // its port, once it is closed: nothing listens there
        url = gone.Url("rfc2217");
    }
    TTestMainThread mainThread;
    for (const auto& [path, error] :
         {std::pair{url, ECONNREFUSED}, std::pair{"rfc2217://127.0.0.1:no-such-service"s, EINVAL},
          std::pair{"tcp://127.0.0.1"s, EINVAL}}) {
        TQorComPort port(mainThread);
        port.SetDevicePath(1, path);
        port.SetPort(1);
        try {
            port.SetActive(true);
            ADD_FAILURE() << path << " opened";
        } catch (const EQorComPort& e) {
            EXPECT_EQ(e.ErrorCode(), error) << path << ": " << e.what();
        }
    }
}

} // namespace
