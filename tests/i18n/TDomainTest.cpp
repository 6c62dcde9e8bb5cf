#include "tests/i18n/CatalogueFixtures.h"

#include "i18n/TDomain.h"
#include "i18n/TMappedFile.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

using namespace i18n_test;

namespace {

const TMessages GermanMessages = {
    {"Cancel", "Abbrechen"},
    {"File not found", "Datei nicht gefunden"},
    {"Open", "\xC3\x96"
             "ffnen"},
    {"Save", "Speichern"},
    {"Two\nlines", "Zwei\nZeilen"},
};

class DomainTest : public ::testing::Test
{
protected:
    std::string CataloguePath(const std::string& language, const std::string& domain = "default")
    {
        return fDir.CataloguePath(language, domain);
    }

    void Prepare(TDomain& domain, const std::string& language, const std::string& name = "default")
    {
        domain.SetDomainName(name);
        domain.SetCatalogueDir(fDir / "locale");
        domain.SetLanguage(language);
    }

    // The message the domain raises on its next lookup, or "" when it raises nothing.
    static std::string LookupError(TDomain& domain, const std::string& key = "Cancel")
    {
        try {
            domain.Lookup(key);
        } catch (const EInOutError& error) {
            return error.what();
        }
        return {};
    }

    TTempDir fDir;
};

TEST_F(DomainTest, CatalogueDirGetsTrailingSeparatorOnce)
{
    TDomain domain;
    domain.SetCatalogueDir("/somewhere/locale");
    EXPECT_EQ(domain.CatalogueDir(), "/somewhere/locale/");
    domain.SetCatalogueDir("/somewhere/locale/");
    EXPECT_EQ(domain.CatalogueDir(), "/somewhere/locale/");
}

TEST_F(DomainTest, TranslatesKnownKeysAndReturnsOthersByteForByte)
{
    CompileCatalogue(CataloguePath("de"), GermanMessages);
    TDomain domain;
    Prepare(domain, "de");

    for (const auto& [key, translation] : GermanMessages)
        EXPECT_EQ(domain.Lookup(key), translation) << key;
    EXPECT_TRUE(domain.IsOpen());

    for (std::string missing : {"cancel", "Cancel ", "Cance", "Zzz", "\xFF\x01 binary", "A"})
        EXPECT_EQ(domain.Lookup(missing), missing);
    const std::string withZero("Save\0x", 6);
    EXPECT_EQ(domain.Lookup(withZero), withZero);
}

TEST_F(DomainTest, EmptyKeyAnswersWithTheHeaderEntry)
{
    CompileCatalogue(CataloguePath("de"), GermanMessages);
    TDomain domain;
    Prepare(domain, "de");
    EXPECT_EQ(domain.Lookup(""), HeaderText());
}

TEST_F(DomainTest, ByteSwappedCatalogueGivesTheSameAnswers)
{
    CompileCatalogue(CataloguePath("de"), GermanMessages);
    const auto native = ReadBytes(CataloguePath("de"));
    const auto swapped = ByteSwappedCatalogue(native);
    ASSERT_EQ(Read32(swapped, 0), 0xde120495u);
    WriteBytes(CataloguePath("xx"), swapped);

    TDomain nativeDomain, swappedDomain;
    Prepare(nativeDomain, "de");
    Prepare(swappedDomain, "xx");
    for (std::string key : {"", "Cancel", "File not found", "Open", "Save", "Two\nlines", "none"})
        EXPECT_EQ(swappedDomain.Lookup(key), nativeDomain.Lookup(key)) << key;
    EXPECT_EQ(swappedDomain.Lookup("Save"), "Speichern");
}

TEST_F(DomainTest, FullLanguageCodeWinsOverItsFirstTwoCharacters)
{
    CompileCatalogue(CataloguePath("de"), {{"Cancel", "Abbrechen (de)"}});
    {
        TDomain domain;
        Prepare(domain, "de_DE");
        EXPECT_EQ(domain.Lookup("Cancel"), "Abbrechen (de)");
    }
    CompileCatalogue(CataloguePath("de_DE"), {{"Cancel", "Abbrechen (de_DE)"}});
    TDomain domain;
    Prepare(domain, "de_DE");
    EXPECT_EQ(domain.Lookup("Cancel"), "Abbrechen (de_DE)");
}

TEST_F(DomainTest, OneCharacterLanguageAndOtherDomainsUseTheirOwnFiles)
{
    CompileCatalogue(CataloguePath("x"), {{"Cancel", "x-default"}});
    CompileCatalogue(CataloguePath("x", "qorport"), {{"Cancel", "x-qorport"}});
    TDomain defaultDomain, qorport;
    Prepare(defaultDomain, "x");
    Prepare(qorport, "x", "qorport");
    EXPECT_EQ(defaultDomain.Lookup("Cancel"), "x-default");
    EXPECT_EQ(qorport.Lookup("Cancel"), "x-qorport");
}

// The search starts at the largest power of two not above N and halves its step; every
// catalogue size must still reach every entry, the first and the last included.
TEST_F(DomainTest, EveryKeyIsFoundWhateverTheEntryCount)
{
    for (int count : {1, 2, 3, 4, 5, 6, 7, 8, 9, 15, 16, 17, 31, 33, 100, 257}) {
        TMessages messages;
        for (int i = 0; i < count; ++i) {
            char key[16], value[16];
            std::snprintf(key, sizeof key, "k%04d", i * 2); // gaps for keys between entries
            // Translations sort below every key, so a probe past the key table cannot pass
            // unnoticed.
            std::snprintf(value, sizeof value, "a%04d", i * 2);
            messages.emplace_back(key, value);
        }
        const std::string language = "n" + std::to_string(count);
        CompileCatalogue(CataloguePath(language), messages, false);
        TDomain domain;
        Prepare(domain, language);
        for (const auto& [key, value] : messages)
            ASSERT_EQ(domain.Lookup(key), value) << count << " entries, key " << key;
        for (int i = 0; i < count; ++i) {
            char between[16];
            std::snprintf(between, sizeof between, "k%04d", i * 2 + 1);
            ASSERT_EQ(domain.Lookup(between), between) << count << " entries";
        }
        EXPECT_EQ(domain.Lookup("a"), "a") << count << " entries";
        EXPECT_EQ(domain.Lookup("k"), "k") << count << " entries";
        EXPECT_EQ(domain.Lookup("z"), "z") << count << " entries";
        EXPECT_EQ(domain.Lookup(""), "") << count << " entries";
    }
}

TEST_F(DomainTest, KeysOfOneCharacterAreToldApart)
{
    const TMessages letters = {{"a", "first"}, {"b", "second"}, {"c", "third"}};
    CompileCatalogue(CataloguePath("de"), letters);
    TDomain domain;
    Prepare(domain, "de");
    for (const auto& [key, translation] : letters)
        EXPECT_EQ(domain.Lookup(key), translation) << key;
    EXPECT_EQ(domain.Lookup("d"), "d");
}

TEST_F(DomainTest, KeysWithContextOrPluralAreMatchedWhole)
{
    CompilePoText(CataloguePath("de"), "msgctxt \"menu\"\nmsgid \"Open\"\nmsgstr \"Oeffnen\"\n\n"
                                       "msgid \"file\"\nmsgid_plural \"files\"\n"
                                       "msgstr[0] \"Datei\"\nmsgstr[1] \"Dateien\"\n");
    TDomain domain;
    Prepare(domain, "de");
    EXPECT_EQ(domain.Lookup("Open"), "Open");
    EXPECT_EQ(domain.Lookup(std::string("menu\x04Open")), "Oeffnen");
    EXPECT_EQ(domain.Lookup("file"), "file");
    EXPECT_EQ(domain.Lookup(std::string("file\0files", 10)), std::string("Datei\0Dateien", 13));
}

TEST_F(DomainTest, MissingCatalogueIsSoughtOnceUntilASetterRuns)
{
    TDomain domain;
    Prepare(domain, "de_DE");
    EXPECT_EQ(domain.Lookup("Cancel"), "Cancel");
    EXPECT_FALSE(domain.IsOpen());
    EXPECT_FALSE(domain.MayOpen());

    // The catalogue appears after the search: the domain does not look again...
    CompileCatalogue(CataloguePath("de"), GermanMessages);
    EXPECT_EQ(domain.Lookup("Cancel"), "Cancel");
    EXPECT_FALSE(domain.MayOpen());

    // ...until its language is set (even to the same code),
    domain.SetLanguage("de_DE");
    EXPECT_TRUE(domain.MayOpen());
    EXPECT_EQ(domain.Lookup("Cancel"), "Abbrechen");

    // and likewise after CloseCatalogue and SetCatalogueDir.
    domain.SetCatalogueDir(fDir / "elsewhere");
    EXPECT_EQ(domain.Lookup("Cancel"), "Cancel");
    EXPECT_FALSE(domain.MayOpen());
    std::filesystem::rename(fDir / "locale", fDir / "elsewhere");
    EXPECT_EQ(domain.Lookup("Cancel"), "Cancel");
    domain.CloseCatalogue();
    EXPECT_EQ(domain.Lookup("Cancel"), "Abbrechen");
}

TEST_F(DomainTest, OpenCatalogueStaysInUseUntilClosed)
{
    CompileCatalogue(CataloguePath("de"), GermanMessages);
    TDomain domain;
    Prepare(domain, "de");
    EXPECT_EQ(domain.Lookup("Save"), "Speichern");
    // Replacing the file does not disturb the open mapping; closing picks up the new file.
    std::filesystem::remove(CataloguePath("de"));
    CompileCatalogue(CataloguePath("de"), {{"Save", "Sichern"}});
    EXPECT_EQ(domain.Lookup("Save"), "Speichern");
    domain.CloseCatalogue();
    EXPECT_FALSE(domain.IsOpen());
    EXPECT_EQ(domain.Lookup("Save"), "Sichern");
}

TEST_F(DomainTest, WrongMagicIsReportedOnEveryLookup)
{
    CompileCatalogue(CataloguePath("de"), GermanMessages);
    auto bytes = ReadBytes(CataloguePath("de"));
    bytes[0] ^= 0x01;
    WriteBytes(CataloguePath("de"), bytes);

    TDomain domain;
    Prepare(domain, "de_DE");
    const std::string expected =
        "This file is not a valid GNU gettext mo file: " + CataloguePath("de");
    EXPECT_EQ(LookupError(domain), expected);
    EXPECT_FALSE(domain.IsOpen());
    EXPECT_TRUE(domain.MayOpen());
    EXPECT_EQ(LookupError(domain), expected);

    bytes[0] ^= 0x01;
    WriteBytes(CataloguePath("de"), bytes);
    EXPECT_EQ(domain.Lookup("Cancel"), "Abbrechen");
}

TEST_F(DomainTest, FilesThatCannotBeMappedGiveTheMapError)
{
    TDomain domain;
    Prepare(domain, "de");
    WriteBytes(CataloguePath("de"), {});
    EXPECT_EQ(LookupError(domain), "Cannot create memory map on file " + CataloguePath("de"));

    // A FIFO must neither block the lookup nor be mistaken for a catalogue.
    std::filesystem::remove(CataloguePath("de"));
    ASSERT_EQ(::mkfifo(CataloguePath("de").c_str(), 0600), 0);
    EXPECT_EQ(LookupError(domain), "Cannot create memory map on file " + CataloguePath("de"));
}

TEST_F(DomainTest, MappingRefusedByTheSystemGivesItsReason)
{
    // sysfs attributes are regular files that cannot be memory-mapped.
    const std::string attribute = "/sys/kernel/uevent_seqnum";
    struct stat info
    {
    };
    if (::stat(attribute.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0)
        GTEST_SKIP() << attribute << " is not available here";
    std::filesystem::create_directories(fDir / "locale/de/LC_MESSAGES");
    std::filesystem::create_symlink(attribute, CataloguePath("de"));

    TDomain domain;
    Prepare(domain, "de");
    EXPECT_EQ(LookupError(domain), "Cannot map file " + CataloguePath("de") +
                                       " into memory. Reason: " + std::strerror(ENODEV));
}

TEST_F(DomainTest, FileThatCannotBeOpenedGivesTheOpenError)
{
    // A socket exists under the name but cannot be opened (whatever the user's rights).
    std::filesystem::create_directories(fDir / "locale/de/LC_MESSAGES");
    const std::string path = CataloguePath("de");
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof address.sun_path);
    path.copy(address.sun_path, path.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    TDomain domain;
    Prepare(domain, "de");
    EXPECT_EQ(LookupError(domain), "Cannot open file " + path);
    EXPECT_EQ(LookupError(domain), "Cannot open file " + path);
    ::close(fd);
}

TEST_F(DomainTest, CatalogueWithoutEntriesAnswersWithTheKey)
{
    std::vector<char> empty(28, '\0');
    Write32(empty, 0, 0x950412de);
    Write32(empty, 12, 28);
    Write32(empty, 16, 28);
    WriteBytes(CataloguePath("de"), empty);
    TDomain domain;
    Prepare(domain, "de");
    EXPECT_EQ(domain.Lookup("Cancel"), "Cancel");
    EXPECT_TRUE(domain.IsOpen());
}

// A catalogue is believed only as far as it lies inside its file: any header, table or string
// that points past the end makes the file invalid instead of being read.
TEST_F(DomainTest, DamagedTablesAndStringsMakeTheFileInvalid)
{
    CompileCatalogue(CataloguePath("ok"), GermanMessages);
    const auto good = ReadBytes(CataloguePath("ok"));
    const uint32_t n = Read32(good, 8);
    const uint32_t keys = Read32(good, 12);
    const uint32_t values = Read32(good, 16);
    const uint32_t size = static_cast<uint32_t>(good.size());

    struct TDamage
    {
        const char* What;
        std::size_t At;
        uint32_t Value;
    };
    const TDamage damages[] = {
        {"entry count beyond the file", 8, 0x10000000},
        {"entry count overflowing 32 bits", 8, 0xffffffff},
        {"key table past the end", 12, size - 8},
        {"value table past the end", 16, size},
        {"key table offset near 4 GiB", 12, 0xfffffff8},
        {"key string past the end", keys + 8 * (n - 1) + 4, size},
        {"key string length past the end", keys + 8 * (n - 1), size},
        {"translation wrapping around", values + 4, 0xffffffff},
        {"translation length near 4 GiB", values + 8, 0xfffffffe},
    };
    const std::string expected = "This file is not a valid GNU gettext mo file: ";
    for (const TDamage& damage : damages) {
        auto bytes = good;
        Write32(bytes, damage.At, damage.Value);
        const std::string language = std::string("bad") + std::to_string(&damage - damages);
        WriteBytes(CataloguePath(language), bytes);
        TDomain domain;
        Prepare(domain, language);
        EXPECT_EQ(LookupError(domain), expected + CataloguePath(language)) << damage.What;
    }
}

TEST_F(DomainTest, TruncatedCatalogueNeverAnswersFromOutsideTheFile)
{
    CompileCatalogue(CataloguePath("ok"), GermanMessages);
    const auto good = ReadBytes(CataloguePath("ok"));
    for (std::size_t length = 1; length < good.size(); ++length) {
        WriteBytes(CataloguePath("cut"), std::vector<char>(good.begin(), good.begin() + length));
        TDomain domain;
        Prepare(domain, "cut");
        try {
            // Only the last strings can be missing and still leave a usable catalogue.
            const std::string answer = domain.Lookup("Save");
            EXPECT_TRUE(answer == "Speichern") << "length " << length << ": " << answer;
        } catch (const EInOutError& error) {
            EXPECT_EQ(std::string(error.what()),
                      "This file is not a valid GNU gettext mo file: " + CataloguePath("cut"))
                << "length " << length;
        }
    }
}

TEST_F(DomainTest, ConcurrentFirstLookupsOpenTheCatalogueOnce)
{
    CompileCatalogue(CataloguePath("de"), GermanMessages);
    TDomain domain;
    Prepare(domain, "de");
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                if (domain.Lookup("Save") != "Speichern" || domain.Lookup("nope") != "nope")
                    ++wrong;
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(wrong.load(), 0);
}

} // namespace
