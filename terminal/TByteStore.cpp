#include "terminal/TByteStore.h"

#include <algorithm>
#include <cstring>
#include <system_error>

TByteStore::TByteStore(std::uint64_t memoryLimit, TFileMaker makeFile)
    : fMemoryLimit(memoryLimit), fMakeFile(std::move(makeFile))
{
}

void TByteStore::Append(std::string_view bytes)
{
    while (!bytes.empty()) {
        const std::size_t used = static_cast<std::size_t>(fSize % BlockSize);
        if (used == 0) fBlocks.push_back(std::make_unique_for_overwrite<char[]>(BlockSize));
        const std::size_t n = std::min(BlockSize - used, bytes.size());
        std::memcpy(fBlocks.back().get() + used, bytes.data(), n);
        fSize += n;
        bytes.remove_prefix(n);
    }
    SpillOldBlocks();
}

std::uint64_t TByteStore::BytesInMemory() const
{
    return std::uint64_t{fBlocks.size() - fSpilled} * BlockSize;
}

void TByteStore::SpillOldBlocks()
{
    while (!fSpillFailed && BytesInMemory() > fMemoryLimit && fSpilled + 1 < fBlocks.size()) {
        try {
            if (!fFile) fFile.emplace(fMakeFile());
            fFile->Write(std::uint64_t{fSpilled} * BlockSize,
                         std::span<const char>(fBlocks[fSpilled].get(), BlockSize));
        } catch (const std::system_error& error) {
            fSpillFailed = true;
            fSpillError = std::string(error.what()) + "; the text stays in memory";
            return;
        }
        fBlocks[fSpilled].reset();
        ++fSpilled;
    }
}

std::string_view TByteStore::Piece(std::uint64_t offset) const
{
    if (offset >= fSize) return {};
    const std::size_t block = static_cast<std::size_t>(offset / BlockSize);
    const std::size_t start = static_cast<std::size_t>(offset % BlockSize);
    const std::size_t end = static_cast<std::size_t>(
        std::min<std::uint64_t>(BlockSize, fSize - std::uint64_t{block} * BlockSize));
    const char* data = fBlocks[block].get();
    if (!data) {
        if (fReadBackBlock != block) {
            if (!fReadBack) fReadBack = std::make_unique_for_overwrite<char[]>(BlockSize);
            fReadBackBlock = SIZE_MAX; // stays unset if the read fails
            try {
                fFile->Read(std::uint64_t{block} * BlockSize,
                            std::span<char>(fReadBack.get(), BlockSize));
                fReadBackBlock = block;
            } catch (const std::system_error& error) {
                // A failing disk: what cannot be read shows as '?' and is said once; reading
                // is tried again next time.
                std::memset(fReadBack.get(), '?', BlockSize);
                if (!fReadFailed) fSpillError = error.what();
                fReadFailed = true;
            }
        }
        data = fReadBack.get();
    }
    return {data + start, end - start};
}

std::string TByteStore::Read(std::uint64_t offset, std::uint64_t length) const
{
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(std::min(length, fSize - std::min(offset, fSize))));
    ForEach(offset, offset + length, [&](std::string_view piece) { bytes.append(piece); });
    return bytes;
}

void TByteStore::ForEach(std::uint64_t from, std::uint64_t to,
                         const std::function<void(std::string_view)>& take) const
{
    to = std::min(to, fSize);
    while (from < to) {
        const std::string_view piece = Piece(from).substr(0, static_cast<std::size_t>(to - from));
        take(piece);
        from += piece.size();
    }
}

void TByteStore::Overwrite(std::uint64_t offset, char byte)
{
    const std::size_t block = static_cast<std::size_t>(offset / BlockSize);
    if (block < fSpilled) BringBack(block);
    fBlocks[block][offset % BlockSize] = byte;
}

void TByteStore::BringBack(std::size_t block)
{
    // Only blocks from here on move back, so the file stays one run of blocks from its start.
    while (fSpilled > block) {
        const std::size_t last = fSpilled - 1;
        auto data = std::make_unique_for_overwrite<char[]>(BlockSize);
        fFile->Read(std::uint64_t{last} * BlockSize, std::span<char>(data.get(), BlockSize));
        fBlocks[last] = std::move(data);
        fSpilled = last;
        if (fReadBackBlock == last) fReadBackBlock = SIZE_MAX;
    }
    fFile->Truncate(std::uint64_t{fSpilled} * BlockSize);
}

void TByteStore::Truncate(std::uint64_t size)
{
    if (size >= fSize) return;
    const std::size_t blocks = static_cast<std::size_t>((size + BlockSize - 1) / BlockSize);
    fSpilled = std::min(fSpilled, blocks);
    // A block cut in the middle is appended to next, so it must be in memory.
    if (size % BlockSize != 0 && blocks - 1 < fSpilled)
        BringBack(blocks - 1);
    else if (fFile)
        fFile->Truncate(std::uint64_t{fSpilled} * BlockSize);
    fBlocks.resize(blocks);
    fSize = size;
    fReadBackBlock = SIZE_MAX;
}
