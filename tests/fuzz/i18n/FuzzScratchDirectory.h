#pragma once
// The fuzz targets hand their input to the catalogue code as files, written into one private
// temporary directory that is removed when the fuzzer exits.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <unistd.h>

// Creates the directory from a mkdtemp pattern ("...XXXXXX") and returns its path; any failure
// aborts, since the target cannot run without it.
inline std::string MakeFuzzScratchDirectory(std::string pattern)
{
    static std::string created; // atexit takes no captures
    if (!::mkdtemp(pattern.data())) std::abort();
    created = pattern;
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(created, ignored);
    });
    return created;
}

// Replaces the file at path with the input bytes.
inline void WriteFuzzFile(const std::string& path, const uint8_t* data, std::size_t size)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) std::abort();
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written <= 0) std::abort();
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    ::close(fd);
}
