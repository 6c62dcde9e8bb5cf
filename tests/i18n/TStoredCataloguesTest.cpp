#include "tests/i18n/CatalogueFixtures.h"

#include "i18n/CatalogueTableMarker.h"
#include "i18n/TStoredCatalogues.h"

#include <gtest/gtest.h>

using namespace i18n_test;

namespace {

struct TRecord
{
    std::string Name;
    uint64_t Offset;
    uint64_t Size;
};

void Append64(std::vector<char>& out, uint64_t value)
{
    for (int i = 0; i < 8; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

void Patch64(std::vector<char>& out, std::size_t at, uint64_t value)
{
    for (std::size_t i = 0; i < 8; ++i)
        out.at(at + i) = static_cast<char>((value >> (8 * i)) & 0xff);
}

// An "executable" of 100 filler bytes followed by a well-formed table of records; returns the
// position of the first record. recordStarts receives each record's position.
uint64_t AppendTable(std::vector<char>& file, const std::vector<TRecord>& records,
                     std::vector<std::size_t>* recordStarts = nullptr)
{
    const uint64_t first = file.size();
    for (const TRecord& record : records) {
        if (recordStarts) recordStarts->push_back(file.size());
        Append64(file, file.size() + 24 + record.Name.size());
        Append64(file, record.Offset);
        Append64(file, record.Size);
        file.insert(file.end(), record.Name.begin(), record.Name.end());
    }
    Append64(file, 0);
    return first;
}

class StoredCataloguesTest : public ::testing::Test
{
protected:
    std::string Executable() const { return fDir / "tarvel"; }
    std::string InBaseDir(const std::string& relative) const { return fDir / relative; }

    TTempDir fDir;
    std::vector<char> fFile = std::vector<char>(100, 'x');
};

TEST_F(StoredCataloguesTest, ZeroPositionMeansNothingStored)
{
    AppendTable(fFile, {{"locale/de/LC_MESSAGES/default.mo", 10, 20}});
    WriteBytes(Executable(), fFile);
    TStoredCatalogues stored;
    stored.ScanTable(Executable(), 0);
    EXPECT_EQ(stored.Count(), 0u);
    EXPECT_EQ(stored.BaseDir(), "");
    const std::string path = InBaseDir("locale/de/LC_MESSAGES/default.mo");
    EXPECT_FALSE(stored.Contains(path));
    EXPECT_FALSE(stored.Contains("locale/de/LC_MESSAGES/default.mo"));
    const auto location = stored.Locate(path);
    EXPECT_EQ(location.File, path);
    EXPECT_EQ(location.Offset, 0);
    EXPECT_EQ(location.Size, 0);
}

TEST_F(StoredCataloguesTest, ThisBuildCarriesAnUnpatchedMarker)
{
    EXPECT_EQ(CatalogueTableMarkerText(), "6637DB2E-62E1-4A60-AC19-C23867046A89");
    EXPECT_EQ(CatalogueTablePosition(), 0u);
}

TEST_F(StoredCataloguesTest, RecordsAreFoundUnderTheBaseDirectory)
{
    const uint64_t first = AppendTable(fFile, {{"locale/de/LC_MESSAGES/default.mo", 10, 20},
                                               {"  locale/fr/LC_MESSAGES/default.mo\t\r\n", 30, 5},
                                               {"locale/it/LC_MESSAGES/qorport.mo", 40, 6}});
    WriteBytes(Executable(), fFile);
    TStoredCatalogues stored;
    stored.ScanTable(Executable(), first);
    EXPECT_EQ(stored.Count(), 3u);
    EXPECT_EQ(stored.BaseDir(), fDir.Path().string() + "/");

    const auto de = stored.Locate(InBaseDir("locale/de/LC_MESSAGES/default.mo"));
    EXPECT_EQ(de.File, Executable());
    EXPECT_EQ(de.Offset, 10);
    EXPECT_EQ(de.Size, 20);
    // Blanks and control characters around a name are not part of it.
    const auto fr = stored.Locate(InBaseDir("locale/fr/LC_MESSAGES/default.mo"));
    EXPECT_EQ(fr.File, Executable());
    EXPECT_EQ(fr.Offset, 30);
    // Names compare ignoring letter case; the base directory does not.
    EXPECT_TRUE(stored.Contains(InBaseDir("LOCALE/IT/lc_messages/QORPORT.MO")));
    EXPECT_EQ(stored.Locate(InBaseDir("LOCALE/IT/lc_messages/QORPORT.MO")).Offset, 40);

    // Contains also answers for a relative name; Locate needs the base directory.
    EXPECT_TRUE(stored.Contains("locale/de/LC_MESSAGES/default.mo"));
    EXPECT_EQ(stored.Locate("locale/de/LC_MESSAGES/default.mo").File,
              "locale/de/LC_MESSAGES/default.mo");
    EXPECT_EQ(stored.Locate("locale/de/LC_MESSAGES/default.mo").Offset, 0);

    EXPECT_FALSE(stored.Contains(InBaseDir("locale/es/LC_MESSAGES/default.mo")));
    const std::string otherBase = "/elsewhere/locale/de/LC_MESSAGES/default.mo";
    EXPECT_FALSE(stored.Contains(otherBase));
    EXPECT_EQ(stored.Locate(otherBase).File, otherBase);
}

TEST_F(StoredCataloguesTest, ARecordEndingTheFileIsReadWhateverItsNamesLength)
{
    for (bool terminated : {true, false}) {
        std::vector<char> file(100, 'x');
        const uint64_t first = AppendTable(file, {{"a.mo", 10, 20}});
        if (!terminated) file.resize(file.size() - 8); // the terminating record is not needed
        WriteBytes(Executable(), file);
        TStoredCatalogues stored;
        stored.ScanTable(Executable(), first);
        EXPECT_TRUE(stored.Contains("a.mo")) << terminated;
        EXPECT_EQ(stored.Locate(InBaseDir("a.mo")).Size, 20) << terminated;
    }
}

TEST_F(StoredCataloguesTest, EveryByteOfTheOffsetAndSizeCounts)
{
    const uint64_t offset = 0x0102030405060708u, size = 0x1112131415161718u;
    const uint64_t first = AppendTable(fFile, {{"locale/de/LC_MESSAGES/default.mo", offset, size}});
    WriteBytes(Executable(), fFile);
    TStoredCatalogues stored;
    stored.ScanTable(Executable(), first);
    const auto location = stored.Locate(InBaseDir("locale/de/LC_MESSAGES/default.mo"));
    EXPECT_EQ(location.Offset, static_cast<int64_t>(offset));
    EXPECT_EQ(location.Size, static_cast<int64_t>(size));
}

TEST_F(StoredCataloguesTest, NamesDifferingOnlyInCaseKeepTheEarlierRecords)
{
    const uint64_t first = AppendTable(fFile, {{"locale/de/LC_MESSAGES/default.mo", 10, 1},
                                               {"locale/fr/LC_MESSAGES/default.mo", 20, 1},
                                               {"LOCALE/DE/LC_MESSAGES/DEFAULT.MO", 30, 1},
                                               {"locale/it/LC_MESSAGES/default.mo", 40, 1}});
    WriteBytes(Executable(), fFile);
    TStoredCatalogues stored;
    stored.ScanTable(Executable(), first);
    EXPECT_EQ(stored.Count(), 2u);
    EXPECT_EQ(stored.Locate(InBaseDir("locale/de/LC_MESSAGES/default.mo")).Offset, 10);
    EXPECT_TRUE(stored.Contains(InBaseDir("locale/fr/LC_MESSAGES/default.mo")));
    EXPECT_FALSE(stored.Contains(InBaseDir("locale/it/LC_MESSAGES/default.mo")));
}

// A chain that does not move forward through the file, or leaves it, ends the scan where the
// damage is; the records before it stay.
TEST_F(StoredCataloguesTest, MalformedChainsEndTheScan)
{
    struct TCase
    {
        const char* What;
        uint64_t SecondNext; // replaces the second record's Next; a function of its position
        bool RelativeToRecord;
    };
    const TCase cases[] = {
        {"Next pointing back at the first record", 0, false},
        {"Next pointing at its own record", 0, true},
        {"Next inside its own record header", 10, true},
        {"Next beyond the end of the file", 1'000'000, false},
        {"Next near 2^64", ~uint64_t{0} - 4, false},
    };
    for (const TCase& c : cases) {
        std::vector<char> file(100, 'x');
        std::vector<std::size_t> starts;
        const uint64_t first = AppendTable(file,
                                           {{"locale/a/LC_MESSAGES/default.mo", 1, 1},
                                            {"locale/b/LC_MESSAGES/default.mo", 2, 1},
                                            {"locale/c/LC_MESSAGES/default.mo", 3, 1}},
                                           &starts);
        const uint64_t next = c.RelativeToRecord ? starts[1] + c.SecondNext
                                                 : (c.SecondNext == 0 ? first : c.SecondNext);
        Patch64(file, starts[1], next);
        WriteBytes(Executable(), file);
        TStoredCatalogues stored;
        stored.ScanTable(Executable(), first);
        EXPECT_TRUE(stored.Contains("locale/a/LC_MESSAGES/default.mo")) << c.What;
        EXPECT_FALSE(stored.Contains("locale/c/LC_MESSAGES/default.mo")) << c.What;
        EXPECT_LE(stored.Count(), 1u) << c.What;
    }
}

TEST_F(StoredCataloguesTest, TablesCutShortOrMissingLeaveWhatWasRead)
{
    std::vector<std::size_t> starts;
    const uint64_t first = AppendTable(
        fFile,
        {{"locale/a/LC_MESSAGES/default.mo", 1, 1}, {"locale/b/LC_MESSAGES/default.mo", 2, 1}},
        &starts);
    // Cut anywhere inside the second record (the terminating record after it is not needed).
    for (std::size_t cut = starts[1]; cut < fFile.size() - 8; ++cut) {
        WriteBytes(Executable(), std::vector<char>(fFile.begin(), fFile.begin() + cut));
        TStoredCatalogues stored;
        stored.ScanTable(Executable(), first);
        EXPECT_TRUE(stored.Contains("locale/a/LC_MESSAGES/default.mo")) << cut;
        EXPECT_FALSE(stored.Contains("locale/b/LC_MESSAGES/default.mo")) << cut;
    }

    TStoredCatalogues beyond;
    beyond.ScanTable(Executable(), 1u << 30);
    EXPECT_EQ(beyond.Count(), 0u);
    TStoredCatalogues noFile;
    noFile.ScanTable(fDir / "no-such-program", 100);
    EXPECT_EQ(noFile.Count(), 0u);
}

} // namespace
