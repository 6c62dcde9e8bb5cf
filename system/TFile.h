#pragma once
// An open file and the calls made on it: the one place outside the serial backends where a file
// is opened, read or written. Failures throw std::system_error carrying errno.

#include "system/TFileDescriptor.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <utility>

class TFile
{
public:
    // A regular file for reading; a directory fails with EISDIR, anything else without an end
    // (a FIFO, /dev/zero) with EACCES, and opening never blocks on it.
    static TFile OpenForReading(const std::filesystem::path& path);
#ifndef _WIN32
    // A file without a name in folder, for reading and writing: nothing is left behind however
    // the program ends (O_TMPFILE; where the file system has none, a name removed at once).
    static TFile OpenNameless(const std::filesystem::path& folder);
#endif

    std::uint64_t SizeWhenOpened() const
    {
        return fSizeWhenOpened;
    }

    // The next bytes in order; 0 at the end.
    std::size_t Read(std::span<char> bytes);
#ifndef _WIN32
    // Exactly bytes.size() bytes from offset; a file shorter than that fails with EIO.
    void ReadAt(std::uint64_t offset, std::span<char> bytes) const;
    void WriteAt(std::uint64_t offset, std::span<const char> bytes);
    void Truncate(std::uint64_t size);
#endif

private:
    explicit TFile(TFileDescriptor fd) : fFd(std::move(fd)) {}

    TFileDescriptor fFd;
    std::uint64_t fSizeWhenOpened = 0;
};
