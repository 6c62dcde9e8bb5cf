#pragma once
#include "TCatalogueFileHandle.h"

#include <cstddef>
#include <string>

// A whole file mapped read-only into memory; unmapped and closed when it goes. Construction
// raises ECatalogueError with the message of the step that failed, naming the file.
class TMappedFile
{
public:
    explicit TMappedFile(const std::string& path);
    TMappedFile(const TMappedFile&) = delete;
    TMappedFile& operator=(const TMappedFile&) = delete;
    ~TMappedFile();

    const unsigned char* Data() const { return View; }
    std::size_t Size() const { return Length; }

private:
    TCatalogueFileHandle File;
    const unsigned char* View = nullptr;
    std::size_t Length = 0;
};
