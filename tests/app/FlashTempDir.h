#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>

// A private scratch folder for one test, removed with everything in it afterwards.
class FlashTempDir
{
public:
    FlashTempDir()
    {
        // create_directory fails on a name that exists, so each test gets its own folder.
        std::random_device random;
        for (int attempt = 0; attempt < 100; ++attempt) {
            const auto candidate = std::filesystem::temp_directory_path() /
                                   ("tarvel-flash-" + std::to_string(random()));
            if (std::filesystem::create_directory(candidate)) {
                fDir = candidate;
                return;
            }
        }
        throw std::runtime_error("no scratch folder could be made");
    }
    ~FlashTempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(fDir, ec);
    }
    FlashTempDir(const FlashTempDir&) = delete;
    FlashTempDir& operator=(const FlashTempDir&) = delete;

    std::string Write(const std::string& name, std::string_view bytes) const
    {
        const std::filesystem::path path = fDir / name;
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) throw std::runtime_error("cannot write " + path.string());
        return path.string();
    }
    std::string Path(const std::string& name) const { return (fDir / name).string(); }

private:
    std::filesystem::path fDir;
};
