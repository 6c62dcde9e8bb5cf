#include "serial/TRfc2217Codec.h"

#include "serial/SerialConstants.h"

namespace {

using TCodec = TRfc2217Codec;

std::string Bytes(std::initializer_list<std::uint8_t> bytes)
{
    std::string text;
    for (const std::uint8_t b : bytes)
        text += static_cast<char>(b);
    return text;
}

// A COM port command with its value; a 0xFF inside the value is doubled like any other.
std::string Command(std::uint8_t command, std::initializer_list<std::uint8_t> value)
{
    std::string text = Bytes({TCodec::Iac, TCodec::Sb, TCodec::OptionComPort, command});
    for (const std::uint8_t b : value) {
        text += static_cast<char>(b);
        if (b == TCodec::Iac) text += static_cast<char>(b);
    }
    return text + Bytes({TCodec::Iac, TCodec::Se});
}

bool Has(const std::uint8_t (&set)[32], std::uint8_t option)
{
    return (set[option / 8] >> (option % 8)) & 1;
}

void Put(std::uint8_t (&set)[32], std::uint8_t option)
{
    set[option / 8] = static_cast<std::uint8_t>(set[option / 8] | (1 << (option % 8)));
}

} // namespace

std::optional<TNetworkPortAddress> ParseNetworkPort(std::string_view name)
{
    TNetworkPortAddress address;
    if (name.starts_with("rfc2217://"))
        name.remove_prefix(10);
    else if (name.starts_with("tcp://"))
        name.remove_prefix(6), address.Telnet = false;
    else
        return std::nullopt;
    if (!name.empty() && name.back() == '/') name.remove_suffix(1);
    // Without both parts the name is still a network port's, and opening it says what is missing.
    const std::size_t colon = name.rfind(':');
    if (colon == std::string_view::npos || name.ends_with(']')) {
        address.Host = name;
        return address;
    }
    std::string_view host = name.substr(0, colon);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    address.Host = host;
    address.Service = name.substr(colon + 1);
    return address;
}

std::string TRfc2217Codec::Greeting()
{
    if (!fTelnet) return {};
    for (const std::uint8_t option : {OptionBinary, OptionSuppressGoAhead, OptionComPort})
        Put(fWillSent, option);
    for (const std::uint8_t option : {OptionBinary, OptionSuppressGoAhead})
        Put(fDoSent, option);
    return Bytes({Iac, Will, OptionBinary, Iac, Do, OptionBinary, Iac, Will, OptionSuppressGoAhead,
                  Iac, Do, OptionSuppressGoAhead, Iac, Will, OptionComPort});
}

std::string TRfc2217Codec::Settings(const TDeviceControlBlock& state) const
{
    if (!fTelnet) return {};
    const std::uint32_t baud = state.BaudRate;
    // Parity: the component's 0 none, 1 odd, 2 even, 3 mark, 4 space; the protocol's one more.
    // Stop bits: the component's 0 one, 1 one and a half, 2 two; the protocol's 1, 3, 2.
    const std::uint8_t stop = state.StopBits == 1 ? 3 : state.StopBits == 2 ? 2 : 1;
    const bool hardware = (state.Flags & DCB_fOutxCtsFlow) != 0 ||
                          (state.Flags & DCB_RtsControlMask) == DCB_RtsControlHandshake;
    const bool software = (state.Flags & (DCB_fOutX | DCB_fInX)) != 0;
    std::string text =
        Command(SetBaudRate,
                {static_cast<std::uint8_t>(baud >> 24), static_cast<std::uint8_t>(baud >> 16),
                 static_cast<std::uint8_t>(baud >> 8), static_cast<std::uint8_t>(baud)}) +
        Command(SetDataSize, {state.ByteSize}) +
        Command(SetParity, {static_cast<std::uint8_t>(state.Parity + 1)}) +
        Command(SetStopSize, {stop}) +
        Command(SetControl, {static_cast<std::uint8_t>(hardware   ? 3
                                                       : software ? 2
                                                                  : 1)});
    // DTR and RTS as the component sets them: on when enabled (or handed to the handshake).
    const bool dtr = (state.Flags & DCB_DtrControlMask) != 0;
    const bool rts = (state.Flags & DCB_RtsControlMask) != 0;
    text += Command(SetControl, {static_cast<std::uint8_t>(dtr ? 8 : 9)});
    if (!hardware) text += Command(SetControl, {static_cast<std::uint8_t>(rts ? 11 : 12)});
    return text;
}

std::string TRfc2217Codec::Purge(bool receive, bool transmit) const
{
    if (!fTelnet || (!receive && !transmit)) return {};
    return Command(PurgeData, {static_cast<std::uint8_t>(receive && transmit ? 3
                                                         : receive           ? 1
                                                                             : 2)});
}

std::string TRfc2217Codec::Encode(std::span<const std::byte> data) const
{
    std::string text;
    text.reserve(data.size() + data.size() / 64);
    for (const std::byte b : data) {
        text += static_cast<char>(b);
        if (fTelnet && static_cast<std::uint8_t>(b) == Iac) text += static_cast<char>(b);
    }
    return text;
}

void TRfc2217Codec::Decode(std::span<const std::byte> received, std::string& data,
                           std::string& reply)
{
    for (const std::byte byte : received) {
        const auto b = static_cast<std::uint8_t>(byte);
        if (!fTelnet) {
            data += static_cast<char>(b);
            continue;
        }
        switch (fState) {
        case TState::Data:
            if (b == Iac)
                fState = TState::Iac;
            else
                data += static_cast<char>(b);
            break;
        case TState::Iac:
            fState = TState::Data;
            if (b == Iac) {
                data += static_cast<char>(b);
            } else if (b == Will || b == Wont || b == Do || b == Dont) {
                fVerb = b;
                fState = TState::Verb;
            } else if (b == Sb) {
                fSub.clear();
                fState = TState::Sub;
            } // other commands (NOP, go-ahead, ...) carry nothing for a serial line
            break;
        case TState::Verb:
            Negotiate(fVerb, b, reply);
            fState = TState::Data;
            break;
        case TState::Sub:
            if (b == Iac)
                fState = TState::SubIac;
            else if (fSub.size() < 64) // nothing the server sends is longer
                fSub += static_cast<char>(b);
            break;
        case TState::SubIac:
            if (b == Se) {
                Subnegotiation();
                fState = TState::Data;
            } else {
                if (fSub.size() < 64) fSub += static_cast<char>(b); // IAC IAC: one 0xFF
                fState = TState::Sub;
            }
            break;
        }
    }
}

void TRfc2217Codec::Negotiate(std::uint8_t verb, std::uint8_t option, std::string& reply)
{
    // The greeting offered and asked for all this side wants; anything else is refused, once.
    if (verb == Do) {
        if (option == OptionComPort) fComPortAccepted = true;
        if (!Has(fWillSent, option)) {
            Put(fWillSent, option);
            reply += Bytes({Iac, Wont, option});
        }
    } else if (verb == Will) {
        if (!Has(fDoSent, option)) {
            Put(fDoSent, option);
            reply += Bytes({Iac, Dont, option});
        }
    } else if (verb == Dont && option == OptionComPort) {
        fComPortAccepted = false;
    }
}

void TRfc2217Codec::Subnegotiation()
{
    if (fSub.size() < 2 || static_cast<std::uint8_t>(fSub[0]) != OptionComPort) return;
    const auto command = static_cast<std::uint8_t>(fSub[1]);
    const auto value = [&](std::size_t i) { return static_cast<std::uint8_t>(fSub[2 + i]); };
    const std::size_t length = fSub.size() - 2;
    if (command == ServerReply + NotifyModemState && length >= 1) fModemState = value(0);
    if (command == ServerReply + NotifyLineState && length >= 1) fLineState = value(0);
    if (command == ServerReply + SetBaudRate && length >= 4)
        fServerBaudRate = (std::uint32_t{value(0)} << 24) | (std::uint32_t{value(1)} << 16) |
                          (std::uint32_t{value(2)} << 8) | value(3);
}
