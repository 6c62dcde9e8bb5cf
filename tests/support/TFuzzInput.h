#pragma once
// A fuzz target's input read from the front: a byte at a time (0 once it is used up) or a run of
// bytes, so that one input drives a whole scripted session.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

class TFuzzInput
{
public:
    TFuzzInput(const std::uint8_t* data, std::size_t size) : fData(data), fSize(size) {}
    bool Empty() const { return fPos >= fSize; }
    std::size_t Size() const { return fSize; }
    std::uint8_t Byte() { return fPos < fSize ? fData[fPos++] : 0; }
    // Up to n bytes, fewer at the end.
    std::string_view Take(std::size_t n)
    {
        n = std::min(n, fSize - fPos);
        const std::string_view out(reinterpret_cast<const char*>(fData + fPos), n);
        fPos += n;
        return out;
    }

private:
    const std::uint8_t* fData;
    std::size_t fSize;
    std::size_t fPos = 0;
};
