#pragma once

#include <unistd.h>
#include <utility>

// Owns a POSIX file descriptor and closes it once.
class TFileDescriptor
{
public:
    TFileDescriptor() = default;
    explicit TFileDescriptor(int fd) : fFd(fd) {}
    TFileDescriptor(TFileDescriptor&& other) noexcept : fFd(std::exchange(other.fFd, -1)) {}
    TFileDescriptor& operator=(TFileDescriptor&& other) noexcept
    {
        if (this != &other) Reset(std::exchange(other.fFd, -1));
        return *this;
    }
    TFileDescriptor(const TFileDescriptor&) = delete;
    TFileDescriptor& operator=(const TFileDescriptor&) = delete;
    ~TFileDescriptor() { Reset(); }

    int Get() const { return fFd; }
    bool Valid() const { return fFd >= 0; }
    int Release() { return std::exchange(fFd, -1); }
    void Reset(int fd = -1)
    {
        if (fFd >= 0) ::close(fFd);
        fFd = fd;
    }

private:
    int fFd = -1;
};
