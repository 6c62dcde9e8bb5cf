#pragma once
// An append-mostly sequence of bytes kept in fixed blocks, so it never holds more than one block
// beyond what it stores. Past a memory limit the oldest whole blocks move to a TSpillFile and are
// read back when asked for. If that file cannot be made or written, the bytes stay in memory
// and the failure is reported once (TakeSpillError); so is a block that cannot be read back,
// which shows as '?'.

#include "terminal/TSpillFile.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class TByteStore
{
public:
    static constexpr std::size_t BlockSize = std::size_t{1} << 20;
    using TFileMaker = std::function<TSpillFile()>;

    // memoryLimit: bytes kept in memory before older blocks move to the file; the block being
    // filled always stays. makeFile is called the first time a block moves.
    TByteStore(std::uint64_t memoryLimit, TFileMaker makeFile);

    std::uint64_t Size() const { return fSize; }
    void Append(std::string_view bytes);
    // The bytes from offset on that lie in one block: at least one unless offset is the end.
    // Valid until the next call on the store.
    std::string_view Piece(std::uint64_t offset) const;
    std::string Read(std::uint64_t offset, std::uint64_t length) const;
    // Calls take with the bytes from `from` to `to` (clipped to the end), in order, in pieces.
    void ForEach(std::uint64_t from, std::uint64_t to,
                 const std::function<void(std::string_view)>& take) const;
    void Overwrite(std::uint64_t offset, char byte);
    void Truncate(std::uint64_t size);
    void Clear() { Truncate(0); }

    std::uint64_t BytesInMemory() const;
    std::uint64_t BytesInFile() const { return std::uint64_t{fSpilled} * BlockSize; }
    // What went wrong with the file, once: nullopt before a failure and after it was taken.
    std::optional<std::string> TakeSpillError() { return std::exchange(fSpillError, {}); }

private:
    void SpillOldBlocks();
    void BringBack(std::size_t block);

    std::vector<std::unique_ptr<char[]>> fBlocks; // null for a block in the file
    std::size_t fSpilled = 0;                     // blocks [0, fSpilled) are in the file
    std::uint64_t fSize = 0;
    std::uint64_t fMemoryLimit;
    TFileMaker fMakeFile;
    std::optional<TSpillFile> fFile;
    bool fSpillFailed = false;
    mutable bool fReadFailed = false;
    mutable std::optional<std::string> fSpillError;
    // The last block read back from the file.
    mutable std::unique_ptr<char[]> fReadBack;
    mutable std::size_t fReadBackBlock = SIZE_MAX;
};
