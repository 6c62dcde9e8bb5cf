#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <initializer_list>

class TQorComPort;

enum TParity : uint8_t { ptNone, ptOdd, ptEven, ptMark, ptSpace };
enum TStopBits : uint8_t { sbOne, sbOne_5, sbTwo };
enum TDtrControl : uint8_t { dtrDisable, dtrEnable, dtrHandshake };
enum TRtsControl : uint8_t { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };
enum TQorPortOptions : uint8_t { EventCtsDsr, EventError };

// Set of TQorPortOptions, one bit per option (bit 0 EventCtsDsr, bit 1 EventError).
class TPortOptions
{
public:
    constexpr TPortOptions() = default;
    constexpr TPortOptions(std::initializer_list<TQorPortOptions> options)
    {
        for (auto option : options)
            fBits |= Bit(option);
    }
    constexpr bool Contains(TQorPortOptions option) const { return (fBits & Bit(option)) != 0; }
    constexpr void Include(TQorPortOptions option) { fBits |= Bit(option); }
    constexpr void Exclude(TQorPortOptions option) { fBits &= static_cast<uint8_t>(~Bit(option)); }
    constexpr uint8_t Bits() const { return fBits; }
    constexpr bool operator==(const TPortOptions&) const = default;

private:
    static constexpr uint8_t Bit(TQorPortOptions option) { return uint8_t(1u << option); }
    uint8_t fBits = 0;
};

using TNotifyEvent = std::function<void(TQorComPort& Sender)>;
using TPortLineEvent = std::function<void(TQorComPort& Sender, bool State)>;
using TPortErrEvent = std::function<void(TQorComPort& Sender, uint32_t Error)>;
using TPortExceptionEvent = std::function<void(TQorComPort& Sender, const std::exception& E)>;
