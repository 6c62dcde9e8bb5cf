#include "windows/TWin32Settings.h"

TWin32Settings::TWin32Settings(const wchar_t* key)
{
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                          &fKey, nullptr) != ERROR_SUCCESS)
        fKey = nullptr;
}

TWin32Settings::~TWin32Settings()
{
    if (fKey != nullptr) ::RegCloseKey(fKey);
}

std::optional<std::wstring> TWin32Settings::Text(const wchar_t* name) const
{
    if (fKey == nullptr) return std::nullopt;
    DWORD type = 0, size = 0;
    if (::RegQueryValueExW(fKey, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return std::nullopt;
    std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    if (::RegQueryValueExW(fKey, name, nullptr, &type, reinterpret_cast<BYTE*>(value.data()),
                           &size) != ERROR_SUCCESS)
        return std::nullopt;
    value.resize(size / sizeof(wchar_t));
    while (!value.empty() && value.back() == L'\0')
        value.pop_back();
    return value;
}

void TWin32Settings::SetText(const wchar_t* name, const std::wstring& value)
{
    if (fKey == nullptr) return;
    ::RegSetValueExW(fKey, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

std::optional<std::uint32_t> TWin32Settings::Number(const wchar_t* name) const
{
    if (fKey == nullptr) return std::nullopt;
    DWORD type = 0, value = 0, size = sizeof value;
    if (::RegQueryValueExW(fKey, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD)
        return std::nullopt;
    return value;
}

void TWin32Settings::SetNumber(const wchar_t* name, std::uint32_t value)
{
    if (fKey == nullptr) return;
    const DWORD stored = value;
    ::RegSetValueExW(fKey, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&stored),
                     sizeof stored);
}
