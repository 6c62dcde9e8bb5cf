#pragma once
// A file held in memory that the code under test opens by its path like any file on disk,
// rewritten for every input: no disk traffic, nothing left behind.

#include "system/TFileDescriptor.h"

#include <cstdlib>
#include <string>
#include <string_view>
#include <sys/mman.h>
#include <unistd.h>

class TFuzzMemoryFile
{
public:
    explicit TFuzzMemoryFile(const char* name) : fFile(::memfd_create(name, MFD_CLOEXEC))
    {
        if (!fFile.Valid()) std::abort(); // the target cannot run without it
    }

    void Replace(std::string_view bytes)
    {
        if (::ftruncate(fFile.Get(), 0) != 0) std::abort();
        off_t offset = 0;
        while (!bytes.empty()) {
            const ssize_t written = ::pwrite(fFile.Get(), bytes.data(), bytes.size(), offset);
            if (written <= 0) std::abort();
            bytes.remove_prefix(static_cast<std::size_t>(written));
            offset += written;
        }
    }

    // Opening this path makes a description of its own, reading from the start.
    std::string Path() const { return "/proc/self/fd/" + std::to_string(fFile.Get()); }

private:
    TFileDescriptor fFile;
};
