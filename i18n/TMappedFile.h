#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>

// Raised when a message catalogue exists but cannot be opened, mapped or read.
class ECatalogueError : public std::runtime_error
{
public:
    explicit ECatalogueError(const std::string& message) : std::runtime_error(message) {}
};

// A whole file mapped read-only into memory; unmapped when it goes (the mapping holds the file).
// Construction raises ECatalogueError with the message of the step that failed, naming the file.
class TMappedFile
{
public:
    explicit TMappedFile(const std::string& path);
    TMappedFile(const TMappedFile&) = delete;
    TMappedFile& operator=(const TMappedFile&) = delete;
    ~TMappedFile();

    const unsigned char* Data() const { return fView; }
    std::size_t Size() const { return fLength; }

private:
    const unsigned char* fView = nullptr;
    std::size_t fLength = 0;
};
