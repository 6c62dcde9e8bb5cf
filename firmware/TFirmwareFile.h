#pragma once

#include "system/TFile.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// Reads a firmware text file line by line through a small buffer that is refilled
// a fixed number of bytes at a time; the number of refills drives the progress gauge.
//
// A line is the text up to the next LF. Every CR is dropped (the one of a CR LF pair
// as well as a lone CR, which does not end the line). The file ends when no bytes are
// left or when the next byte is Ctrl-Z. Lines may be of any length; empty lines count.
//
// Open and read failures raise EInOutError with the runtime's message text.
class TFirmwareFile
{
public:
    static constexpr std::size_t BufferSize = 128;
    static constexpr char CtrlZ = 26;

    explicit TFirmwareFile(const std::string& path);
    // A text made in memory (a converted image), read exactly as a file holding it would be.
    struct TText
    {
        std::string Bytes;
    };
    explicit TFirmwareFile(TText text);
    TFirmwareFile(const TFirmwareFile&) = delete;
    TFirmwareFile& operator=(const TFirmwareFile&) = delete;

    // True when no bytes are left or the next byte is Ctrl-Z. May refill the buffer.
    bool Eof();

    // The next line without its line end; empty at the end of the file.
    std::string ReadLine();

    // The whole file at once, failing as the line reader does; for what must see all of it
    // before sending (its format).
    static std::string ReadWhole(const std::string& path);

    // Size of the file when it was opened, in whole buffers.
    std::uint64_t TotalBlocks() const { return fOpenedSize / BufferSize; }
    // Bytes fetched from the file so far, in whole buffers.
    std::uint64_t BlocksRead() const { return fBytesFetched / BufferSize; }
    std::uint64_t Fetched() const { return fBytesFetched; }
    // True once the last part of the file has been fetched.
    bool AllFetched() const { return fEndOfData || fBytesFetched >= fOpenedSize; }

private:
    // Refills an exhausted buffer; false when the file has no more bytes.
    bool Refill();

    std::optional<TFile> fFile; // nothing: fText is read instead
    std::string fText;
    std::uint64_t fOpenedSize = 0;
    std::uint64_t fBytesFetched = 0;
    std::array<char, BufferSize> fBuffer{};
    std::size_t fPos = 0;
    std::size_t fEnd = 0;
    bool fEndOfData = false;
};
