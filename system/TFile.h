#pragma once
// An open file and the calls made on it: the one place outside the serial backends where a file
// is opened, read or written. Failures throw std::system_error carrying errno (on Windows, the
// calls made through the Windows API carry its code in Win32Category()).

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
    // A file made empty (created when missing, 0644) for writing from its start.
    static TFile Create(const std::filesystem::path& path);
    // A new file for writing from its start; a name that exists already fails with EEXIST, so
    // that two writers never share one.
    static TFile CreateNew(const std::filesystem::path& path);
    // A file whose every Write lands whole at its end, whoever else appends to it (O_APPEND);
    // created when missing. When it is empty, firstLine is written first, under a lock, so that
    // writers starting at once put it there once (Windows: without the lock).
    static TFile OpenForAppending(const std::filesystem::path& path,
                                  std::span<const char> firstLine);
    // A file without a name in folder, for reading and writing: nothing is left behind however
    // the program ends (O_TMPFILE; where the file system has none, a name removed at once).
    // Windows: a new unique name that nothing else may open, deleted when its last handle is
    // closed, which the system does however the program ends. Failures carry the Win32 code.
    static TFile OpenNameless(const std::filesystem::path& folder);

    std::uint64_t SizeWhenOpened() const { return fSizeWhenOpened; }

    // The next bytes in order; 0 at the end.
    std::size_t Read(std::span<char> bytes);
    // All of bytes at the file's position (its end, when opened for appending): one call to the
    // system for a regular file, more only when it takes less (a full disk fails on the next).
    void Write(std::span<const char> bytes);
    // Returns once what was written is on the disk.
    void Sync();
    // The file has no name left (it, or its folder, was removed while open): what is written
    // reaches nobody, yet writing does not fail.
    bool Removed() const;
    // Exactly bytes.size() bytes from offset; a file shorter than that fails with EIO.
    // On Windows these three move the position that Read and Write use.
    void ReadAt(std::uint64_t offset, std::span<char> bytes) const;
    void WriteAt(std::uint64_t offset, std::span<const char> bytes);
    void Truncate(std::uint64_t size);

private:
    explicit TFile(TFileDescriptor fd) : fFd(std::move(fd)) {}

    TFileDescriptor fFd;
    std::uint64_t fSizeWhenOpened = 0;
};
