#pragma once
// A file with no name on disk that holds what the terminal moved out of memory. It has no name
// from the start, so nothing is left behind when the program ends, however it ends.

#include "system/TFile.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>

class TSpillFile
{
public:
    // Creates the file in folder (made if missing; on Linux mode 0700, on Windows the folder
    // under the user's profile keeps its inherited access); throws std::system_error with the
    // cause.
    explicit TSpillFile(const std::filesystem::path& folder);

    void Write(std::uint64_t offset, std::span<const char> bytes);
    void Read(std::uint64_t offset, std::span<char> bytes) const;
    void Truncate(std::uint64_t size);

    using TEnvironment = std::function<std::optional<std::string>(const char* name)>;
    // The user's cache folder for Tarvel ($XDG_CACHE_HOME/tarvel or ~/.cache/tarvel; Windows:
    // %LOCALAPPDATA%\Tarvel\cache): on disk, unlike the runtime folder, which is usually memory.
    // Without those, a folder in the temporary one.
    static std::filesystem::path DefaultFolder(const TEnvironment& environment, bool windows);
    static std::filesystem::path DefaultFolder();

private:
    TFile fFile;
};
