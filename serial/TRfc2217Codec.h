#pragma once
// The client's side of a serial port served over the network: RFC 2217 (Telnet COM port
// control: the line's settings, DTR, RTS, purges and the server's line and modem state, all
// inside a Telnet stream where the byte 0xFF is doubled) or raw TCP (bytes as they are). Pure
// rules, bytes in and out; the socket is the device's.

#include "serial/TDeviceControlBlock.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// A port across the network as the user names it: rfc2217://HOST:PORT or tcp://HOST:PORT
// (HOST may be [an IPv6 address]).
struct TNetworkPortAddress
{
    bool Telnet = true; // rfc2217://
    std::string Host;
    std::string Service;
};
// nullopt for a name that is no such URL (a local device); Host or Service empty when the URL
// lacks them.
std::optional<TNetworkPortAddress> ParseNetworkPort(std::string_view name);

class TRfc2217Codec
{
public:
    // telnet false: a raw TCP port; every call passes bytes through or says nothing.
    explicit TRfc2217Codec(bool telnet) : fTelnet(telnet) {}

    bool Telnet() const { return fTelnet; }
    // What the client says first: binary both ways, no go-ahead, COM port control.
    std::string Greeting();
    // The line's speed, character format, flow control, DTR and RTS as the state says.
    std::string Settings(const TDeviceControlBlock& state) const;
    // Drops what the server holds for the line (transmit) or for us (receive).
    std::string Purge(bool receive, bool transmit) const;
    // The port's bytes as they go on the connection.
    std::string Encode(std::span<const std::byte> data) const;
    // Takes what came from the server, in pieces of any size: the port's bytes are appended to
    // data, what the client must answer (option negotiation) to reply.
    void Decode(std::span<const std::byte> received, std::string& data, std::string& reply);

    // As the server last notified them; 0 before any notification.
    std::uint8_t ModemState() const { return fModemState; }
    std::uint8_t LineState() const { return fLineState; }
    // The server agreed to COM port control (it said DO COM-PORT-OPTION).
    bool ComPortAccepted() const { return fComPortAccepted; }
    // The baud rate the server said it set, 0 before it did.
    std::uint32_t ServerBaudRate() const { return fServerBaudRate; }

    // Telnet and RFC 2217 codes
    static constexpr std::uint8_t Iac = 255, Dont = 254, Do = 253, Wont = 252, Will = 251, Sb = 250,
                                  Se = 240;
    static constexpr std::uint8_t OptionBinary = 0, OptionSuppressGoAhead = 3, OptionComPort = 44;
    static constexpr std::uint8_t SetBaudRate = 1, SetDataSize = 2, SetParity = 3, SetStopSize = 4,
                                  SetControl = 5, NotifyLineState = 6, NotifyModemState = 7,
                                  SetLineStateMask = 10, SetModemStateMask = 11, PurgeData = 12;
    static constexpr std::uint8_t ServerReply = 100; // a server's answer: the command + 100

private:
    void Negotiate(std::uint8_t verb, std::uint8_t option, std::string& reply);
    void Subnegotiation();

    enum class TState { Data, Iac, Verb, Sub, SubIac };
    bool fTelnet;
    TState fState = TState::Data;
    std::uint8_t fVerb = 0;
    std::string fSub; // the subnegotiation being read, its option first
    // Options this side already agreed to or refused, so that no answer is given twice (RFC 854
    // forbids answering an answer).
    std::uint8_t fWillSent[256 / 8] = {};
    std::uint8_t fDoSent[256 / 8] = {};
    std::uint8_t fModemState = 0;
    std::uint8_t fLineState = 0;
    bool fComPortAccepted = false;
    std::uint32_t fServerBaudRate = 0;
};
