// The network port's protocol as bytes: what the client says, and how what the server says is
// taken apart, whatever pieces the network cuts it into.
#include "serial/SerialConstants.h"
#include "serial/TRfc2217Codec.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <span>
#include <string>

using namespace std::string_literals;

namespace {

std::span<const std::byte> Span(const std::string& bytes)
{
    return std::as_bytes(std::span(bytes.data(), bytes.size()));
}

// IAC SB COM-PORT-OPTION <command> <value> IAC SE
std::string Sub(const std::string& commandAndValue)
{
    return "\xFF\xFA\x2C" + commandAndValue + "\xFF\xF0";
}

TEST(Rfc2217Codec, WhatTheClientSays)
{
    TRfc2217Codec codec(true);
    EXPECT_EQ(codec.Greeting(), "\xFF\xFB\x00\xFF\xFD\x00\xFF\xFB\x03\xFF\xFD\x03\xFF\xFB\x2C"s);
    TDeviceControlBlock line;
    line.BaudRate = 115200;
    line.Flags = DCB_DtrControlEnable | DCB_RtsControlEnable;
    EXPECT_EQ(codec.Settings(line), Sub("\x01\x00\x01\xC2\x00"s) + Sub("\x02\x08") +
                                        Sub("\x03\x01") + Sub("\x04\x01") + Sub("\x05\x01") +
                                        Sub("\x05\x08") + Sub("\x05\x0B"));
    // 7E2 at 255 baud, DTR off, RTS given to the handshake: the 0xFF of the rate doubled.
    line = {.BaudRate = 255,
            .Flags = DCB_RtsControlHandshake,
            .ByteSize = 7,
            .Parity = 2,
            .StopBits = 2};
    EXPECT_EQ(codec.Settings(line), Sub("\x01\x00\x00\x00\xFF\xFF"s) + Sub("\x02\x07") +
                                        Sub("\x03\x03") + Sub("\x04\x02") + Sub("\x05\x03") +
                                        Sub("\x05\x09"));
    EXPECT_EQ(codec.Purge(false, true), Sub("\x0C\x02"));
    EXPECT_EQ(codec.Encode(Span("S1\xFF\x00\xFF"s)), "S1\xFF\xFF\x00\xFF\xFF"s);

    TRfc2217Codec raw(false);
    EXPECT_EQ(raw.Greeting(), "");
    EXPECT_EQ(raw.Settings(line), "");
    EXPECT_EQ(raw.Encode(Span("\xFF\xFF"s)), "\xFF\xFF"s);
}

TEST(Rfc2217Codec, WhatTheServerSaysInAnyPieces)
{
    const struct
    {
        std::string Received;
        std::string Data;
        std::string Reply;
        std::uint8_t ModemState;
    } cases[] = {
        {"ab\xFF\xFF"
         "c",
         "ab\xFF"
         "c",
         "", 0}, // a doubled 0xFF is data
        {"a\xFF\xF1"
         "b",
         "ab", "", 0}, // NOP carries nothing
        {"\xFF\xFD\x2C"
         "x",
         "x", "", 0},                                        // DO COM-PORT: agreed
        {"\xFF\xFD\x01\xFF\xFD\x01", "", "\xFF\xFC\x01", 0}, // DO ECHO refused once
        {"\xFF\xFB\x01"
         "z",
         "z", "\xFF\xFE\x01", 0},                             // WILL ECHO refused
        {"\xFF\xFB\x00\xFF\xFD\x03", "", "", 0},              // what the greeting asked
        {Sub("\x6B\x30") + "ok", "ok", "", 0x30},             // modem state: CTS, DSR
        {Sub("\x6B\xFF\xFF") + "\xFF\xFF", "\xFF", "", 0xFF}, // 0xFF inside and after
        {"\xFF\xFA\x18\x01\xFF\xF0"
         "t",
         "t", "", 0}, // another option's
    };
    for (const auto& c : cases) {
        for (const std::size_t piece : {c.Received.size(), std::size_t{1}, std::size_t{2}}) {
            TRfc2217Codec codec(true);
            codec.Greeting();
            std::string data, reply;
            for (std::size_t at = 0; at < c.Received.size(); at += piece)
                codec.Decode(Span(c.Received.substr(at, piece)), data, reply);
            EXPECT_EQ(data, c.Data) << testing::PrintToString(c.Received) << " by " << piece;
            EXPECT_EQ(reply, c.Reply) << testing::PrintToString(c.Received) << " by " << piece;
            EXPECT_EQ(codec.ModemState(), c.ModemState) << testing::PrintToString(c.Received);
        }
    }
    TRfc2217Codec codec(true);
    std::string data, reply;
    codec.Decode(Span(Sub("\x65\x00\x01\xC2\x00"s) + "\xFF\xFD\x2C"), data, reply);
    EXPECT_EQ(codec.ServerBaudRate(), 115200u);
    EXPECT_TRUE(codec.ComPortAccepted());
}

TEST(Rfc2217Codec, NetworkPortNames)
{
    const struct
    {
        const char* Name;
        bool Network;
        bool Telnet;
        const char* Host;
        const char* Service;
    } cases[] = {
        {"rfc2217://rig-7.lab:2001", true, true, "rig-7.lab", "2001"},
        {"tcp://[::1]:4000/", true, false, "::1", "4000"},
        {"rfc2217://10.0.0.5", true, true, "10.0.0.5", ""},
        {"/dev/ttyUSB0", false, false, "", ""},
        {"COM3", false, false, "", ""},
    };
    for (const auto& c : cases) {
        const auto address = ParseNetworkPort(c.Name);
        ASSERT_EQ(address.has_value(), c.Network) << c.Name;
        if (!address) continue;
        EXPECT_EQ(address->Telnet, c.Telnet) << c.Name;
        EXPECT_EQ(address->Host, c.Host) << c.Name;
        EXPECT_EQ(address->Service, c.Service) << c.Name;
    }
}

} // namespace
