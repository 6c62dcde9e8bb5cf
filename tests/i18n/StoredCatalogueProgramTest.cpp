// Catalogues stored inside an executable file by the packaging tool, read by the program itself.
#include "tests/i18n/CatalogueFixtures.h"

#include "i18n/TDomain.h"
#include "i18n/TMappedFile.h"
#include "i18n/TStoredCatalogues.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace i18n_test;

namespace {

const std::string StoredName = "locale/de/LC_MESSAGES/default.mo";

class StoredCatalogueProgramTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CompileCatalogue(fDir / "stored.mo", {{"Cancel", "Abbrechen (stored)"}});
        CompileCatalogue(fDir / StoredName,
                         {{"Cancel", "Abbrechen (disk)"}, {"Save", "Speichern"}});
    }

    // Runs the packaging tool; returns its exit status.
    int Pack(const std::string& input, const std::string& output,
             const std::vector<std::string>& catalogues)
    {
        std::string command =
            ShellQuoted(TARVEL_PACK_TOOL) + " " + ShellQuoted(input) + " " + ShellQuoted(output);
        for (const auto& catalogue : catalogues)
            command += " " + ShellQuoted(catalogue);
        return RunCommand(command + " 2>&1").first;
    }

    std::string Run(const std::string& program, const std::string& arguments)
    {
        const auto [status, output] = RunCommand(ShellQuoted(program) + " " + arguments);
        EXPECT_EQ(status, 0) << output;
        return output;
    }

    TTempDir fDir;
};

TEST_F(StoredCatalogueProgramTest, StoredCatalogueBeatsTheFileOnDisk)
{
    const std::string plain = fDir / "plain-probe";
    std::filesystem::copy_file(TARVEL_PROBE, plain);
    EXPECT_EQ(Run(plain, "de_DE Cancel Save"), "stored 0\nAbbrechen (disk)\nSpeichern\n");

    const std::string packed = fDir / "packed-probe";
    ASSERT_EQ(Pack(TARVEL_PROBE, packed, {StoredName + "=" + (fDir / "stored.mo")}), 0);
    // Only the stored catalogue is read, so "Save" has no translation there.
    EXPECT_EQ(Run(packed, "de_DE Cancel Save"), "stored 1\nAbbrechen (stored)\nSave\n");
}

TEST_F(StoredCatalogueProgramTest, ErrorsInAStoredCatalogueNameTheExecutable)
{
    auto bytes = ReadBytes(fDir / "stored.mo");
    bytes[1] = 'X';
    WriteBytes(fDir / "broken.mo", bytes);
    const std::string packed = fDir / "packed-probe";
    ASSERT_EQ(Pack(TARVEL_PROBE, packed, {StoredName + "=" + (fDir / "broken.mo")}), 0);
    EXPECT_EQ(Run(packed, "de Cancel"),
              "stored 1\nerror: This file is not a valid GNU gettext mo file: " + packed + "\n");
}

TEST_F(StoredCatalogueProgramTest, SeveralCataloguesAndRefusedInputs)
{
    CompileCatalogue(fDir / "fr.mo", {{"Cancel", "Annuler"}});
    const std::string packed = fDir / "packed-probe";
    ASSERT_EQ(Pack(TARVEL_PROBE, packed,
                   {StoredName + "=" + (fDir / "stored.mo"),
                    "locale/fr/LC_MESSAGES/default.mo=" + (fDir / "fr.mo")}),
              0);
    EXPECT_EQ(Run(packed, "fr_FR Cancel"), "stored 2\nAnnuler\n");
    EXPECT_EQ(Run(packed, "de Cancel"), "stored 2\nAbbrechen (stored)\n");

    // An executable that already holds catalogues, or one without the marker, is refused.
    EXPECT_NE(Pack(packed, fDir / "twice", {StoredName + "=" + (fDir / "fr.mo")}), 0);
    WriteBytes(fDir / "no-marker", std::vector<char>(4096, 'x'));
    EXPECT_NE(Pack(fDir / "no-marker", fDir / "out", {StoredName + "=" + (fDir / "fr.mo")}), 0);
}

// The same lookups in this process, with the table read from a file that stands in for the
// executable.
TEST_F(StoredCatalogueProgramTest, DomainReadsAStoredCatalogueAtItsOffset)
{
    std::vector<char> executable(333, 'e');
    const auto catalogue = ReadBytes(fDir / "stored.mo");
    const uint64_t offset = executable.size();
    executable.insert(executable.end(), catalogue.begin(), catalogue.end());
    const uint64_t table = executable.size();
    auto append64 = [&](uint64_t v) {
        for (int i = 0; i < 8; ++i)
            executable.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
    };
    append64(table + 24 + StoredName.size());
    append64(offset);
    append64(catalogue.size());
    executable.insert(executable.end(), StoredName.begin(), StoredName.end());
    append64(0);
    const std::string executablePath = fDir / "fake-program";
    WriteBytes(executablePath, executable);

    TStoredCatalogues stored;
    stored.ScanTable(executablePath, table);
    TDomain domain(&stored);
    domain.SetDomainName("default");
    domain.SetCatalogueDir(fDir / "locale");
    domain.SetLanguage("de_CH");
    EXPECT_EQ(domain.Lookup("Cancel"), "Abbrechen (stored)");
    EXPECT_EQ(domain.Lookup("Save"), "Save");

    // A record whose catalogue would start past the end of the file is invalid, not read.
    auto pastTheEndFile = executable;
    const uint64_t beyond = executable.size() + 100;
    for (std::size_t i = 0; i < 8; ++i)
        pastTheEndFile[table + 8 + i] = static_cast<char>((beyond >> (8 * i)) & 0xff);
    WriteBytes(executablePath, pastTheEndFile);
    TStoredCatalogues pastTheEnd;
    pastTheEnd.ScanTable(executablePath, table);
    TDomain broken(&pastTheEnd);
    broken.SetDomainName("default");
    broken.SetCatalogueDir(fDir / "locale");
    broken.SetLanguage("de");
    try {
        broken.Lookup("Cancel");
        ADD_FAILURE() << "a stored catalogue cut short was used";
    } catch (const EInOutError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "This file is not a valid GNU gettext mo file: " + executablePath);
    }
}

} // namespace
