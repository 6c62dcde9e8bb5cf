// Everything the catalogues ask of Windows: the program's own path, the user's language,
// read-only mappings.
#include "i18n/ExecutablePath.h"
#include "i18n/SystemLanguage.h"
#include "i18n/TMappedFile.h"
#include "i18n/Utf8Text.h"
#include "system/TWin32Handle.h"
#include "system/Win32Error.h"

#include <windows.h>

#include <vector>

std::string CurrentExecutablePath()
{
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return {};
        if (length < buffer.size()) {
            const std::u8string utf8 =
                std::filesystem::path(std::wstring(buffer.data(), length)).u8string();
            return std::string(utf8.begin(), utf8.end());
        }
        buffer.resize(buffer.size() * 2); // the name was cut short
    }
}

std::string DetectSystemLanguage()
{
    return LanguageOfWindowsLocaleId(::GetUserDefaultLCID());
}

TMappedFile::TMappedFile(const std::string& path)
{
    const TWin32Handle file(::CreateFileW(PathFromUtf8(path).c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid())
        throw EInOutError(static_cast<int>(::GetLastError()), "Cannot open file " + path);

    // An empty file (or anything that is not a disk file) has nothing to map.
    LARGE_INTEGER size{};
    if (::GetFileType(file.Get()) != FILE_TYPE_DISK || !::GetFileSizeEx(file.Get(), &size) ||
        size.QuadPart <= 0)
        throw EInOutError(0, "Cannot create memory map on file " + path);
    fLength = static_cast<std::size_t>(size.QuadPart);

    // The view keeps the mapping and the file open; neither handle is needed after it.
    const TWin32Handle mapping(
        ::CreateFileMappingW(file.Get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    const void* view =
        mapping.Valid() ? ::MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, 0) : nullptr;
    if (view == nullptr) {
        const DWORD error = ::GetLastError();
        throw EInOutError(static_cast<int>(error),
                          "Cannot map file " + path +
                              " into memory. Reason: " + Win32ErrorText(error));
    }
    fView = static_cast<const unsigned char*>(view);
}

TMappedFile::~TMappedFile()
{
    if (fView) ::UnmapViewOfFile(fView);
}
