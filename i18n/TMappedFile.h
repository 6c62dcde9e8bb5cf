#pragma once

#include "i18n/EInOutError.h"

#include <cstddef>
#include <string>

// A whole file mapped read-only into memory; unmapped when it goes (the mapping holds the file).
// Construction raises EInOutError with the message of the step that failed, naming the file.
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
