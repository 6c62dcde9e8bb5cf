#pragma once
// The window's remembered settings under HKEY_CURRENT_USER\Software\Tarvel (the place Windows
// programs keep a user's choices). A value that cannot be read is as if never written.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

class TWin32Settings
{
public:
    explicit TWin32Settings(const wchar_t* key = L"Software\\Tarvel");
    ~TWin32Settings();
    TWin32Settings(const TWin32Settings&) = delete;
    TWin32Settings& operator=(const TWin32Settings&) = delete;

    std::optional<std::wstring> Text(const wchar_t* name) const;
    void SetText(const wchar_t* name, const std::wstring& value);
    std::optional<std::uint32_t> Number(const wchar_t* name) const;
    void SetNumber(const wchar_t* name, std::uint32_t value);

private:
    HKEY fKey = nullptr; // null when the key could not be made: nothing is remembered
};
