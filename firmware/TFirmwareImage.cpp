#include "firmware/TFirmwareImage.h"

#include "firmware/Sha256.h"
#include "i18n/EInOutError.h"

#include <algorithm>
#include <cstdio>
#include <numeric>

namespace {

constexpr std::uint64_t AddressSpace = std::uint64_t{1} << 32;

std::uint64_t EndOf(const TImagePieces::TPiece& piece)
{
    return piece.Address + static_cast<std::uint64_t>(piece.Size);
}

} // namespace

std::string AddressRange(std::uint64_t first, std::uint64_t end)
{
    char text[32];
    std::snprintf(text, sizeof text, "0x%08llX-0x%08llX", static_cast<unsigned long long>(first),
                  static_cast<unsigned long long>(end - 1));
    return text;
}

void TImagePieces::Add(std::uint64_t address, std::span<const std::uint8_t> bytes,
                       std::uint32_t where)
{
    if (bytes.empty()) return;
    if (address + bytes.size() > AddressSpace)
        throw EInOutError(0, AddressRange(address, address + bytes.size()) +
                                 " runs past the 32-bit address space");
    fPieces.push_back({static_cast<std::uint32_t>(address),
                       static_cast<std::uint32_t>(bytes.size()), fBytes.size(), where});
    fBytes.insert(fBytes.end(), bytes.begin(), bytes.end());
}

TFirmwareImage::TFirmwareImage(const TImagePieces& pieces, std::uint32_t entry,
                               const std::string& whereWord)
    : fEntry(entry)
{
    const std::vector<TImagePieces::TPiece>& list = pieces.Pieces();
    if (list.empty()) throw EInOutError(0, "the file holds no bytes to flash");
    // Files list their pieces in address order nearly always: sort only an index, and only
    // when needed.
    std::vector<std::size_t> order(list.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    const auto byAddress = [&](std::size_t a, std::size_t b) {
        return list[a].Address < list[b].Address;
    };
    if (!std::is_sorted(order.begin(), order.end(), byAddress))
        std::stable_sort(order.begin(), order.end(), byAddress);

    const auto named = [&](const TImagePieces::TPiece& piece) {
        return AddressRange(piece.Address, EndOf(piece)) + " (" + whereWord + " " +
               std::to_string(piece.Where) + ")";
    };
    const TImagePieces::TPiece* reaching = nullptr; // the piece that reaches highest so far
    for (const std::size_t i : order) {
        const TImagePieces::TPiece& piece = list[i];
        if (reaching && piece.Address < EndOf(*reaching)) {
            const bool reachingFirst = reaching->Where <= piece.Where;
            const TImagePieces::TPiece& first = reachingFirst ? *reaching : piece;
            const TImagePieces::TPiece& second = reachingFirst ? piece : *reaching;
            throw EInOutError(0, named(first) + " overlaps " + named(second));
        }
        const std::uint8_t* bytes = pieces.Bytes().data() + piece.Offset;
        if (fSegments.empty() || fSegments.back().End() != piece.Address)
            fSegments.push_back({piece.Address, {}});
        fSegments.back().Bytes.insert(fSegments.back().Bytes.end(), bytes, bytes + piece.Size);
        fByteCount += piece.Size;
        reaching = &piece;
    }
}

std::string TFirmwareImage::Sha256() const
{
    std::string bytes;
    bytes.reserve(fByteCount);
    for (const TSegment& segment : fSegments)
        bytes.append(segment.Bytes.begin(), segment.Bytes.end());
    return Sha256Hex(bytes);
}
