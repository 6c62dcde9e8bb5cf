#include "i18n/TStoredCatalogues.h"

#include "i18n/CatalogueTableMarker.h"
#include "i18n/ExecutablePath.h"
#include "i18n/Utf8Text.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace {

constexpr uint64_t RecordHeaderSize = 24; // Next, Offset, Size

unsigned char FoldCase(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

uint64_t LittleEndian64(const unsigned char* bytes)
{
    uint64_t value = 0;
    for (int i = 7; i >= 0; --i)
        value = (value << 8) | bytes[i];
    return value;
}

bool ReadExactly(std::ifstream& file, void* buffer, std::size_t size, uint64_t position)
{
    file.clear();
    file.seekg(static_cast<std::streamoff>(position));
    file.read(static_cast<char*>(buffer), static_cast<std::streamsize>(size));
    return file && static_cast<std::size_t>(file.gcount()) == size;
}

bool IsBlankOrControl(char c)
{
    return static_cast<unsigned char>(c) <= ' ';
}

std::string Trimmed(std::string text)
{
    auto first = std::find_if_not(text.begin(), text.end(), IsBlankOrControl);
    auto last = std::find_if_not(text.rbegin(), text.rend(), IsBlankOrControl).base();
    if (first >= last) return {};
    return std::string(first, last);
}

} // namespace

bool TStoredCatalogues::TCaseInsensitiveLess::operator()(std::string_view a,
                                                         std::string_view b) const
{
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return FoldCase(static_cast<unsigned char>(x)) < FoldCase(static_cast<unsigned char>(y));
    });
}

void TStoredCatalogues::Scan(const std::string& executablePath)
{
    ScanTable(executablePath, CatalogueTablePosition());
}

void TStoredCatalogues::ScanTable(const std::string& executablePath, uint64_t firstRecord)
{
    if (firstRecord == 0) return;
    fExecutablePath = executablePath;
    fBaseDirectory = FolderWithSeparator(executablePath);

    const std::filesystem::path path = PathFromUtf8(executablePath);
    std::ifstream file(path, std::ios::binary);
    std::error_code ec;
    const uint64_t fileSize = std::filesystem::file_size(path, ec);
    if (!file || ec) return;

    // Every Next must point past the record that names it, so the chain only moves forward
    // through a finite file and cannot loop.
    uint64_t position = firstRecord;
    for (;;) {
        if (position > fileSize || fileSize - position < 8) return;
        unsigned char header[RecordHeaderSize];
        if (!ReadExactly(file, header, 8, position)) return;
        const uint64_t next = LittleEndian64(header);
        if (next == 0) return;
        if (fileSize - position < RecordHeaderSize ||
            !ReadExactly(file, header + 8, RecordHeaderSize - 8, position + 8))
            return;
        const uint64_t nameStart = position + RecordHeaderSize;
        if (next < nameStart || next > fileSize) return;
        std::string name(static_cast<std::size_t>(next - nameStart), '\0');
        if (!name.empty() && !ReadExactly(file, name.data(), name.size(), nameStart)) return;

        TStoredCatalogueInfo entry;
        entry.StoredOffset = static_cast<int64_t>(LittleEndian64(header + 8));
        entry.StoredSize = static_cast<int64_t>(LittleEndian64(header + 16));
        if (!fEntries.emplace(Trimmed(std::move(name)), entry).second) return;
        position = next;
    }
}

std::string_view TStoredCatalogues::RelativePath(std::string_view path, bool& removed) const
{
    removed = !fBaseDirectory.empty() && path.substr(0, fBaseDirectory.size()) == fBaseDirectory;
    return removed ? path.substr(fBaseDirectory.size()) : path;
}

bool TStoredCatalogues::Contains(std::string_view path) const
{
    bool removed = false;
    return fEntries.find(RelativePath(path, removed)) != fEntries.end();
}

TStoredCatalogues::TLocation TStoredCatalogues::Locate(std::string_view path) const
{
    bool removed = false;
    std::string_view relative = RelativePath(path, removed);
    if (removed) {
        auto found = fEntries.find(relative);
        if (found != fEntries.end())
            return {fExecutablePath, found->second.StoredOffset, found->second.StoredSize};
    }
    return {std::string(path), 0, 0};
}
