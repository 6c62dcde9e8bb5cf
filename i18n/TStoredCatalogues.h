#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

// Where one catalogue stored inside the executable lies (absolute file positions).
struct TStoredCatalogueInfo
{
    int64_t StoredOffset = 0;
    int64_t StoredSize = 0;
};

// Catalogues that a packaging step appended to the executable file, found through the table whose
// position the executable's marker holds. Filled once at start-up, read-only afterwards.
class TStoredCatalogues
{
public:
    struct TLocation
    {
        std::string File;
        int64_t Offset = 0;
        int64_t Size = 0;
    };

    // Reads the table whose position this process's own marker holds (0: nothing stored).
    void Scan(const std::string& executablePath);
    // Reads the table that starts at firstRecord in executablePath. A damaged table leaves the
    // records read before the damage; nothing is reported.
    void ScanTable(const std::string& executablePath, uint64_t firstRecord);

    bool Contains(std::string_view path) const;
    TLocation Locate(std::string_view path) const;

    const std::string& BaseDir() const { return fBaseDirectory; }
    std::size_t Count() const { return fEntries.size(); }

private:
    struct TCaseInsensitiveLess
    {
        using is_transparent = void;
        bool operator()(std::string_view a, std::string_view b) const;
    };

    // Path with BaseDir removed from its start; removed tells whether it was there.
    std::string_view RelativePath(std::string_view path, bool& removed) const;

    std::string fExecutablePath;
    std::string fBaseDirectory;
    std::map<std::string, TStoredCatalogueInfo, TCaseInsensitiveLess> fEntries;
};
