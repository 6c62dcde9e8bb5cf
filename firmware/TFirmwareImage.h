#pragma once
// A firmware image as memory will hold it: runs of bytes at 32-bit addresses, in address order,
// and the address execution starts at. HEX, ELF and raw binary files all become one, so that
// they are checked and sent to the boot loader the same way.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

// The bytes a file gives, piece by piece, in the file's order: what an image is made from.
class TImagePieces
{
public:
    struct TPiece
    {
        std::uint32_t Address = 0;
        std::uint32_t Size = 0;
        std::size_t Offset = 0;  // into Bytes()
        std::uint32_t Where = 0; // where the file gave it (a line, a segment), for errors
    };

    // Throws EInOutError when the piece runs past the 32-bit address space. Empty pieces are
    // dropped.
    void Add(std::uint64_t address, std::span<const std::uint8_t> bytes, std::uint32_t where);

    const std::vector<TPiece>& Pieces() const { return fPieces; }
    const std::vector<std::uint8_t>& Bytes() const { return fBytes; }

private:
    std::vector<TPiece> fPieces;
    std::vector<std::uint8_t> fBytes;
};

class TFirmwareImage
{
public:
    struct TSegment
    {
        std::uint32_t Address = 0;
        std::vector<std::uint8_t> Bytes;
        std::uint64_t End() const { return Address + static_cast<std::uint64_t>(Bytes.size()); }
    };

    // Orders the pieces and joins those that touch. Two that overlap would leave the device's
    // memory to whichever came last: EInOutError naming both address ranges, each followed by
    // whereWord and its Where ("line 3"). No bytes at all is an error too.
    TFirmwareImage(const TImagePieces& pieces, std::uint32_t entry, const std::string& whereWord);

    const std::vector<TSegment>& Segments() const { return fSegments; }
    std::uint32_t Entry() const { return fEntry; }
    std::uint64_t ByteCount() const { return fByteCount; }
    std::uint32_t LowAddress() const { return fSegments.front().Address; }
    std::uint64_t End() const { return fSegments.back().End(); } // past the last byte
    // SHA-256 of the image's bytes in address order, gaps left out: the same image gives the
    // same digest whatever file format carried it.
    std::string Sha256() const;

private:
    std::vector<TSegment> fSegments;
    std::uint32_t fEntry = 0;
    std::uint64_t fByteCount = 0;
};

// "0x08000000-0x080000FF": the first and last address of a range, as errors and reports say it.
std::string AddressRange(std::uint64_t first, std::uint64_t end);
