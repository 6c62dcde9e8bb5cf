#include "tests/i18n/CatalogueFixtures.h"
#include "tests/i18n/EnvironmentGuard.h"

#include "i18n/TMappedFile.h"
#include "i18n/TTranslationInstance.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>

using namespace i18n_test;

namespace {

class TranslationInstanceTest : public ::testing::Test
{
protected:
    void SetUp() override { fEnvironment.SetOnlyLang("it_IT.UTF-8"); }

    std::unique_ptr<TTranslationInstance> MakeInstance()
    {
        return std::make_unique<TTranslationInstance>(fDir / "tarvel", nullptr);
    }

    static std::string TranslationError(TTranslationInstance& instance, const std::string& key)
    {
        try {
            instance.Translate(key);
        } catch (const EInOutError& error) {
            return error.what();
        }
        return {};
    }

    TEnvironmentGuard fEnvironment;
    TTempDir fDir;
};

TEST_F(TranslationInstanceTest, StartsWithDefaultDomainBesideTheExecutable)
{
    auto instance = MakeInstance();
    EXPECT_EQ(instance->LocaleDir(), fDir / "locale");
    EXPECT_EQ(instance->CurrentDomain(), "default");
    EXPECT_EQ(instance->DomainCount(), 1u);
    EXPECT_EQ(instance->FindOrCreateDomain("default").CatalogueDir(), fDir / "locale/");
}

TEST_F(TranslationInstanceTest, LanguageComesFromLangWithoutItsCodeSet)
{
    fEnvironment.Set("LANG", "de_DE.UTF-8");
    EXPECT_EQ(MakeInstance()->CurrentLanguage(), "de_DE");
    fEnvironment.Set("LANG", "pt_BR");
    EXPECT_EQ(MakeInstance()->CurrentLanguage(), "pt_BR");
    fEnvironment.Set("LANG", "fr_FR.ISO-8859-1.extra");
    EXPECT_EQ(MakeInstance()->CurrentLanguage(), "fr_FR");
}

TEST_F(TranslationInstanceTest, UnsetOrEmptyLangFallsBackToTheSystemLanguage)
{
    fEnvironment.Set("LC_ALL", "es_ES.UTF-8");
    fEnvironment.Set("LANG", "");
    EXPECT_EQ(MakeInstance()->CurrentLanguage(), "es_ES");
    fEnvironment.Set("LANG", std::nullopt);
    EXPECT_EQ(MakeInstance()->CurrentLanguage(), "es_ES");
    fEnvironment.Set("LC_ALL", std::nullopt);
    fEnvironment.Set("LC_MESSAGES", "nl_BE@euro");
    EXPECT_EQ(MakeInstance()->CurrentLanguage(), "nl_BE");
}

TEST_F(TranslationInstanceTest, SelectLanguageResetsEveryDomain)
{
    CompileCatalogue(fDir.CataloguePath("it", "default"), {{"Cancel", "Annulla"}});
    CompileCatalogue(fDir.CataloguePath("fr", "default"), {{"Cancel", "Annuler"}});
    CompileCatalogue(fDir.CataloguePath("fr", "qorport"),
                     {{"Registry error", "Erreur du registre"}});
    auto instance = MakeInstance();
    EXPECT_EQ(instance->Translate("Cancel"), "Annulla");
    EXPECT_EQ(instance->TranslateInDomain("qorport", "Registry error"), "Registry error");

    instance->SelectLanguage("fr.given");
    EXPECT_EQ(instance->CurrentLanguage(), "fr.given"); // a given code is used as it is
    instance->SelectLanguage("fr_CA");
    EXPECT_EQ(instance->Translate("Cancel"), "Annuler");
    EXPECT_EQ(instance->TranslateInDomain("qorport", "Registry error"), "Erreur du registre");

    // "C" is a directory name like any other.
    instance->SelectLanguage("C");
    EXPECT_EQ(instance->Translate("Cancel"), "Cancel");
}

TEST_F(TranslationInstanceTest, BindDomainMovesOneDomainElsewhere)
{
    CompileCatalogue(fDir / "other/it/LC_MESSAGES/default.mo", {{"Cancel", "Annulla (other)"}});
    CompileCatalogue(fDir.CataloguePath("it", "default"), {{"Cancel", "Annulla"}});
    auto instance = MakeInstance();
    EXPECT_EQ(instance->Translate("Cancel"), "Annulla");
    instance->BindDomain("DEFAULT", fDir / "other");
    EXPECT_EQ(instance->Translate("Cancel"), "Annulla (other)");
    instance->SetCurrentDomain("another");
    EXPECT_EQ(instance->Translate("Cancel"), "Cancel");
}

TEST_F(TranslationInstanceTest, LineEndsAreLfInKeysAndCrLfInResults)
{
    CompileCatalogue(fDir.CataloguePath("it", "default"),
                     {{"First line\nSecond line", "Prima riga\nSeconda riga"},
                      {"\nLeading", "\nIniziale"},
                      {"Lone CR", "Solo CR"}});
    auto instance = MakeInstance();
    EXPECT_EQ(instance->Translate("First line\r\nSecond line"), "Prima riga\r\nSeconda riga");
    EXPECT_EQ(instance->Translate("First line\nSecond line"), "Prima riga\r\nSeconda riga");
    EXPECT_EQ(instance->Translate("\r\nLeading"), "\r\nIniziale");
    EXPECT_EQ(instance->Translate("Lone\r CR"), "Solo CR");
    // Untranslated texts come back with CR LF line ends and without lone CRs too.
    EXPECT_EQ(instance->Translate("a\nb\r\nc\rd\n"), "a\r\nb\r\ncd\r\n");
}

TEST_F(TranslationInstanceTest, EmptyTextReturnsTheHeader)
{
    CompileCatalogue(fDir.CataloguePath("it", "default"), {{"Cancel", "Annulla"}});
    auto instance = MakeInstance();
    EXPECT_EQ(instance->Translate(""), "Project-Id-Version: test\r\nMIME-Version: 1.0\r\n"
                                       "Content-Type: text/plain; charset=UTF-8\r\n"
                                       "Content-Transfer-Encoding: 8bit\r\n");
    EXPECT_EQ(instance->Translate("\xC3\xA8 unknown"), "\xC3\xA8 unknown");
}

TEST_F(TranslationInstanceTest, NonUtf8OrEmptyTranslationsRaiseTheExactError)
{
    // A Latin-1 catalogue: its "è" is the single byte 0xE8.
    CompilePoText(fDir.CataloguePath("it", "default"),
                  "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=ISO-8859-1\\n\"\n\n"
                  "msgid \"Retry\"\nmsgstr \"Riprov\xE8\"\n\n"
                  "msgid \"Cancel\"\nmsgstr \"Annulla\"\n\n"
                  "msgid \"Help\"\nmsgstr \"Aiuto\"\n");
    // Make the translation of "Help" empty (msgfmt never writes one).
    auto bytes = ReadBytes(fDir.CataloguePath("it", "default"));
    const uint32_t n = Read32(bytes, 8), keys = Read32(bytes, 12), values = Read32(bytes, 16);
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t length = Read32(bytes, keys + 8 * i);
        const uint32_t position = Read32(bytes, keys + 8 * i + 4);
        if (std::string(bytes.data() + position, length) == "Help")
            Write32(bytes, values + 8 * i, 0);
    }
    WriteBytes(fDir.CataloguePath("it", "default"), bytes);

    auto instance = MakeInstance();
    EXPECT_EQ(TranslationError(*instance, "Retry"),
              "Error: Could not translate Retry. Probably because the mo file doesn't contain "
              "utf-8 encoded translations.");
    EXPECT_EQ(TranslationError(*instance, "Help"),
              "Error: Could not translate Help. Probably because the mo file doesn't contain "
              "utf-8 encoded translations.");
    EXPECT_EQ(instance->Translate("Cancel"), "Annulla");
    // The key as given (CR included) names the text.
    EXPECT_EQ(TranslationError(*instance, "Re\rtry"),
              "Error: Could not translate Re\rtry. Probably because the mo file doesn't contain "
              "utf-8 encoded translations.");
}

TEST_F(TranslationInstanceTest, CatalogueErrorsPassToTheCaller)
{
    WriteBytes(fDir.CataloguePath("it", "default"), std::vector<char>(64, 'x'));
    auto instance = MakeInstance();
    EXPECT_THROW(instance->Translate("Cancel"), EInOutError);
    EXPECT_THROW(instance->Translate("Cancel"), EInOutError);
}

TEST_F(TranslationInstanceTest, DomainNamesIgnoreLetterCase)
{
    CompileCatalogue(fDir.CataloguePath("it", "qorport"),
                     {{"Registry error", "Errore del registro"}});
    auto instance = MakeInstance();
    TDomain& lower = instance->FindOrCreateDomain("qorport");
    EXPECT_EQ(&instance->FindOrCreateDomain("QorPort"), &lower);
    EXPECT_EQ(&instance->FindOrCreateDomain("DEFAULT"), &instance->FindOrCreateDomain("default"));
    EXPECT_EQ(instance->DomainCount(), 2u);
    EXPECT_EQ(instance->TranslateInDomain("QORPORT", "Registry error"), "Errore del registro");
    EXPECT_EQ(lower.Language(), "it_IT");
}

TEST_F(TranslationInstanceTest, FirstUsesOfDomainsFromManyThreadsCreateEachOnce)
{
    auto instance = MakeInstance();
    const std::vector<std::string> names = {"alpha", "ALPHA", "beta", "Beta", "gamma", "default"};
    std::vector<std::vector<TDomain*>> seen(8);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < seen.size(); ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 50; ++round) {
                for (const auto& name : names) {
                    seen[t].push_back(&instance->FindOrCreateDomain(name));
                    instance->TranslateInDomain(name, "text");
                }
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(instance->DomainCount(), 4u);
    std::set<TDomain*> distinct;
    for (const auto& perThread : seen)
        distinct.insert(perThread.begin(), perThread.end());
    EXPECT_EQ(distinct.size(), 4u);
}

} // namespace
