#pragma once

#include <windows.h>

#include <utility>

// Owns a Windows kernel handle and closes it once; INVALID_HANDLE_VALUE and null both mean none.
class TWin32Handle
{
public:
    TWin32Handle() = default;
    explicit TWin32Handle(HANDLE handle) : fHandle(handle) {}
    TWin32Handle(TWin32Handle&& other) noexcept : fHandle(std::exchange(other.fHandle, nullptr)) {}
    TWin32Handle& operator=(TWin32Handle&& other) noexcept
    {
        if (this != &other) Reset(std::exchange(other.fHandle, nullptr));
        return *this;
    }
    TWin32Handle(const TWin32Handle&) = delete;
    TWin32Handle& operator=(const TWin32Handle&) = delete;
    ~TWin32Handle() { Reset(); }

    HANDLE Get() const { return fHandle; }
    bool Valid() const { return fHandle != nullptr && fHandle != INVALID_HANDLE_VALUE; }
    HANDLE Release() { return std::exchange(fHandle, nullptr); }
    void Reset(HANDLE handle = nullptr)
    {
        if (Valid()) ::CloseHandle(fHandle);
        fHandle = handle;
    }

private:
    HANDLE fHandle = nullptr;
};
