// What the catalogues ask of the operating system, through the platform's own calls: the
// program's path (catalogues are looked for beside it) and read-only mappings.
#include "i18n/ExecutablePath.h"
#include "i18n/TMappedFile.h"
#include "i18n/Utf8Text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

namespace {

std::filesystem::path ShippedCatalogue()
{
    return PathFromUtf8(CurrentExecutablePath()).parent_path() / "locale" / "it" / "LC_MESSAGES" /
           "default.mo";
}

} // namespace

TEST(SystemAccess, TheExecutablePathNamesThisProgram)
{
    const std::filesystem::path self = PathFromUtf8(CurrentExecutablePath());
    EXPECT_EQ(self.stem(), "tarvel_i18n_system_tests");
    EXPECT_TRUE(std::filesystem::is_regular_file(self));
}

TEST(SystemAccess, ACatalogueBesideTheProgramIsMappedWhole)
{
    const std::filesystem::path path = ShippedCatalogue();
    const std::u8string name = path.u8string();
    const TMappedFile mapped(std::string(name.begin(), name.end()));
    ASSERT_EQ(mapped.Size(), std::filesystem::file_size(path));
    const unsigned char magic[] = {0xde, 0x12, 0x04, 0x95}; // a little-endian .mo file
    EXPECT_EQ(std::memcmp(mapped.Data(), magic, sizeof magic), 0);
}

TEST(SystemAccess, WhatCannotBeMappedSaysWhichStepFailed)
{
    const std::u8string folder = ShippedCatalogue().parent_path().u8string();
    const std::string missing = std::string(folder.begin(), folder.end()) + "/absent.mo";
    EXPECT_THROW(
        {
            try {
                TMappedFile file(missing);
            } catch (const EInOutError& e) {
                EXPECT_EQ(std::string(e.what()), "Cannot open file " + missing);
                throw;
            }
        },
        EInOutError);
}
