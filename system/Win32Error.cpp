#include "system/Win32Error.h"

#include <windows.h>

namespace {

class TWin32Category final : public std::error_category
{
public:
    const char* name() const noexcept override { return "win32"; }
    std::string message(int code) const override
    {
        return Win32ErrorText(static_cast<unsigned long>(code));
    }
};

} // namespace

const std::error_category& Win32Category()
{
    static const TWin32Category category;
    return category;
}

std::string Win32ErrorText(unsigned long code)
{
    char* text = nullptr;
    const DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string result = length > 0 ? std::string(text, length) : std::string();
    if (text != nullptr) ::LocalFree(text);
    while (!result.empty() &&
           (result.back() == '\n' || result.back() == '\r' || result.back() == '.'))
        result.pop_back();
    if (result.empty()) result = "Windows error " + std::to_string(code);
    return result;
}

std::system_error Win32Error(const char* call)
{
    return std::system_error(static_cast<int>(::GetLastError()), Win32Category(), call);
}
