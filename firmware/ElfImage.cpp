#include "firmware/ElfImage.h"

#include "i18n/EInOutError.h"

#include <cstdint>

namespace {

// The few fields of the ELF format read here, at their offsets in the file (the public
// definition; <elf.h> is not on every platform this builds for).
constexpr std::size_t IdentClass = 4, IdentData = 5;
constexpr std::uint8_t Class32 = 1, Class64 = 2, DataLittle = 1, DataBig = 2;
constexpr std::uint32_t LoadSegment = 1;        // PT_LOAD
constexpr std::uint32_t ExtendedCount = 0xFFFF; // PN_XNUM: the count is elsewhere

struct TLayout
{
    std::size_t HeaderSize, Entry, PhOff, PhEntSize, PhNum;
    std::size_t PhSize, PType, POffset, PPaddr, PFilesz;
    std::size_t Word; // size of an address or offset field
};

constexpr TLayout Elf32{52, 24, 28, 42, 44, 32, 0, 4, 12, 16, 4};
constexpr TLayout Elf64{64, 24, 32, 54, 56, 56, 0, 8, 24, 32, 8};

class TElfReader
{
public:
    TElfReader(std::string_view bytes, const TLayout& layout, bool bigEndian)
        : fBytes(bytes), fLayout(layout), fBigEndian(bigEndian)
    {
    }

    std::uint64_t Field(std::size_t at, std::size_t size) const
    {
        if (at > fBytes.size() || size > fBytes.size() - at)
            throw EInOutError(0, "the ELF file is truncated");
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < size; ++i) {
            const auto byte =
                static_cast<unsigned char>(fBytes[at + (fBigEndian ? i : size - 1 - i)]);
            value = value << 8 | byte;
        }
        return value;
    }
    std::uint64_t Word(std::size_t at) const { return Field(at, fLayout.Word); }

    TFirmwareImage Read() const;

private:
    std::string_view fBytes;
    const TLayout& fLayout;
    bool fBigEndian;
};

TFirmwareImage TElfReader::Read() const
{
    if (fBytes.size() < fLayout.HeaderSize) throw EInOutError(0, "the ELF file is truncated");
    const std::uint64_t entry = Word(fLayout.Entry);
    const std::uint64_t table = Word(fLayout.PhOff);
    const std::uint64_t entrySize = Field(fLayout.PhEntSize, 2);
    const std::uint64_t count = Field(fLayout.PhNum, 2);
    if (count == ExtendedCount)
        throw EInOutError(0, "the ELF file has more program headers than this reader takes");
    if (count > 0 && entrySize < fLayout.PhSize)
        throw EInOutError(0, "the ELF program headers are " + std::to_string(entrySize) +
                                 " bytes, fewer than their fields need");
    if (table > fBytes.size() || count * entrySize > fBytes.size() - table)
        throw EInOutError(0, "the ELF file is truncated: its program headers are missing");
    if (entry >> 32 != 0) throw EInOutError(0, "the ELF entry point is past 32 bits");

    TImagePieces pieces;
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::size_t header = static_cast<std::size_t>(table + i * entrySize);
        if (Field(header + fLayout.PType, 4) != LoadSegment) continue;
        const std::uint64_t offset = Word(header + fLayout.POffset);
        const std::uint64_t address = Word(header + fLayout.PPaddr);
        const std::uint64_t size = Word(header + fLayout.PFilesz);
        if (size == 0) continue;
        if (offset > fBytes.size() || size > fBytes.size() - offset)
            throw EInOutError(0, "the ELF file is truncated: segment " + std::to_string(i) +
                                     " needs bytes up to " + std::to_string(offset + size) +
                                     ", the file has " + std::to_string(fBytes.size()));
        if (address >> 32 != 0)
            throw EInOutError(0, "ELF segment " + std::to_string(i) + " is past 32 bits");
        const auto* data = reinterpret_cast<const std::uint8_t*>(fBytes.data() + offset);
        pieces.Add(address, {data, static_cast<std::size_t>(size)}, static_cast<std::uint32_t>(i));
    }
    if (pieces.Pieces().empty())
        throw EInOutError(0, "the ELF file has no loadable segment with bytes to flash");
    return TFirmwareImage(pieces, static_cast<std::uint32_t>(entry), "segment");
}

} // namespace

bool IsElf(std::string_view bytes)
{
    return bytes.substr(0, 4) == std::string_view("\x7f"
                                                  "ELF",
                                                  4);
}

TFirmwareImage ReadElfImage(std::string_view bytes)
{
    if (!IsElf(bytes)) throw EInOutError(0, "not an ELF file");
    if (bytes.size() <= IdentData) throw EInOutError(0, "the ELF file is truncated");
    const auto elfClass = static_cast<std::uint8_t>(bytes[IdentClass]);
    const auto data = static_cast<std::uint8_t>(bytes[IdentData]);
    if (elfClass != Class32 && elfClass != Class64)
        throw EInOutError(0, "the ELF file is neither 32- nor 64-bit");
    if (data != DataLittle && data != DataBig)
        throw EInOutError(0, "the ELF file is neither little- nor big-endian");
    return TElfReader(bytes, elfClass == Class32 ? Elf32 : Elf64, data == DataBig).Read();
}
