#pragma once
#include <unistd.h>
#include <utility>

// Owns one POSIX file descriptor of the catalogue reader and closes it when it goes.
class TCatalogueFileHandle
{
public:
    TCatalogueFileHandle() = default;
    explicit TCatalogueFileHandle(int fd) : Fd(fd) {}
    TCatalogueFileHandle(const TCatalogueFileHandle&) = delete;
    TCatalogueFileHandle& operator=(const TCatalogueFileHandle&) = delete;
    TCatalogueFileHandle(TCatalogueFileHandle&& other) noexcept : Fd(std::exchange(other.Fd, -1)) {}
    TCatalogueFileHandle& operator=(TCatalogueFileHandle&& other) noexcept
    {
        if (this != &other) {
            Reset();
            Fd = std::exchange(other.Fd, -1);
        }
        return *this;
    }
    ~TCatalogueFileHandle() { Reset(); }

    int Get() const { return Fd; }
    bool Valid() const { return Fd >= 0; }
    void Reset()
    {
        if (Fd >= 0) ::close(Fd);
        Fd = -1;
    }

private:
    int Fd = -1;
};
