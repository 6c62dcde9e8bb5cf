#include "tests/i18n/CatalogueFixtures.h"
#include "tests/i18n/EnvironmentGuard.h"

#include "i18n/TLocalizationModule.h"
#include "i18n/TQorPortMessages.h"
#include "i18n/Utf8Text.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace i18n_test;

namespace {

class LocalizationModuleTest : public ::testing::Test
{
protected:
    void SetUp() override { fEnvironment.SetOnlyLang("it_IT.UTF-8"); }

    std::string CataloguePath(const std::string& domain, const std::string& language = "it")
    {
        return fDir.CataloguePath(language, domain);
    }

    std::unique_ptr<TLocalizationModule> Start()
    {
        TLocalizationOptions options;
        options.ExecutablePath = fDir / "tarvel";
        options.ReportError = [this](const std::string& message) { fReported.push_back(message); };
        return std::make_unique<TLocalizationModule>(std::move(options));
    }

    TEnvironmentGuard fEnvironment;
    TTempDir fDir;
    std::vector<std::string> fReported;
};

TEST_F(LocalizationModuleTest, WithoutARunningModuleTextsComeBackUnchanged)
{
    EXPECT_EQ(LocalizationModule(), nullptr);
    EXPECT_EQ(TranslateResourceString("a\nb"), "a\nb");
    EXPECT_EQ(Translate("Cancel"), "Cancel");
    AddResourceDomain("ignored");
    CompileCatalogue(CataloguePath("default"), {{"Cancel", "Annulla"}});
    {
        auto module = Start();
        EXPECT_EQ(module->ResourceDomains(), std::vector<std::string>{"default"});
        EXPECT_EQ(TranslateResourceString("Cancel"), "Annulla");
    }
    EXPECT_EQ(TranslateResourceString("Cancel"), "Cancel");
}

TEST_F(LocalizationModuleTest, OnlyOneModuleRunsAtATime)
{
    auto module = Start();
    EXPECT_EQ(LocalizationModule(), module.get());
    EXPECT_THROW(Start(), std::logic_error);
    EXPECT_EQ(LocalizationModule(), module.get());
}

TEST_F(LocalizationModuleTest, ResourceDomainsAreAskedInOrder)
{
    CompileCatalogue(CataloguePath("default"), {{"Cancel", "Annulla"}, {"Shared", "da default"}});
    CompileCatalogue(CataloguePath("qorport"), {{"Registry error", "Errore del registro"},
                                                {"Shared", "da qorport"},
                                                {"Two\nlines", "Due\nrighe"}});
    auto module = Start();
    AddResourceDomain("qorport");
    EXPECT_EQ(module->ResourceDomains(), (std::vector<std::string>{"default", "qorport"}));

    EXPECT_EQ(TranslateResourceString("Cancel"), "Annulla");
    EXPECT_EQ(TranslateResourceString("Shared"), "da default");
    EXPECT_EQ(TranslateResourceString("Registry error"), "Errore del registro");
    EXPECT_EQ(TranslateResourceString("Nobody"), "Nobody");
    // "default" already changes a text with a bare LF (CR LF line ends), so it answers.
    EXPECT_EQ(TranslateResourceString("Two\nlines"), "Two\r\nlines");
    // A lone CR goes, so "default" answers here too.
    EXPECT_EQ(TranslateResourceString("Registry\r error"), "Registry error");
    // With CR LF already there, "default" leaves it alone and "qorport" translates.
    EXPECT_EQ(TranslateResourceString("Two\r\nlines"), "Due\r\nrighe");
}

TEST_F(LocalizationModuleTest, OnlyTheSecondDomainHasACatalogue)
{
    CompileCatalogue(CataloguePath("qorport"), {{"Registry error", "Errore del registro"}});
    auto module = Start();
    AddResourceDomain("qorport");
    EXPECT_EQ(TranslateResourceString("Registry error"), "Errore del registro");
    // "default" leaves the empty text as it is, so qorport.mo's header answers.
    EXPECT_EQ(TranslateResourceString(""), WithCarriageReturnLineEnds(HeaderText()));
}

TEST_F(LocalizationModuleTest, SerialTextsAreFetchedInOrderFromTheDefaultDomain)
{
    TMessages messages;
    for (std::size_t i = 0; i < TQorPortMessages::Count; ++i)
        messages.emplace_back(TQorPortMessages::SourceTexts[i], "T" + std::to_string(i));
    messages.pop_back(); // "Registry error" stays untranslated
    CompileCatalogue(CataloguePath("default"), messages);
    // Texts in qorport.mo do not reach this table.
    CompileCatalogue(CataloguePath("qorport"), {{"Registry error", "Errore del registro"}});

    auto module = Start();
    TQorPortMessages texts;
    for (std::size_t i = 0; i + 1 < TQorPortMessages::Count; ++i)
        EXPECT_EQ(texts[i], "T" + std::to_string(i));
    EXPECT_EQ(texts[22], "Registry error");
    EXPECT_EQ(module->ResourceDomains(), (std::vector<std::string>{"default", "qorport"}));
    EXPECT_TRUE(fReported.empty());
    EXPECT_TRUE(module->IsTranslating());
    EXPECT_EQ(TranslateResourceString("Registry error"), "Errore del registro");
}

TEST_F(LocalizationModuleTest, DamagedDefaultCatalogueLeavesTheProgramUntranslated)
{
    WriteBytes(CataloguePath("default"), std::vector<char>(100, '\x01'));
    CompileCatalogue(CataloguePath("qorport"), {{"Registry error", "Errore del registro"}});
    auto module = Start();
    TQorPortMessages texts;
    ASSERT_EQ(fReported.size(), 1u);
    EXPECT_EQ(fReported[0],
              "This file is not a valid GNU gettext mo file: " + CataloguePath("default"));
    EXPECT_FALSE(module->IsTranslating());
    for (std::size_t i = 0; i < TQorPortMessages::Count; ++i)
        EXPECT_EQ(texts[i], TQorPortMessages::SourceTexts[i]);
    EXPECT_EQ(TranslateResourceString("Registry error"), "Registry error");
    EXPECT_EQ(TranslateResourceString("a\nb"), "a\nb");
}

TEST_F(LocalizationModuleTest, DamagedSecondCatalogueIsFoundAtStartUp)
{
    CompileCatalogue(CataloguePath("default"), {{"Cancel", "Annulla"}});
    CompilePoText(CataloguePath("qorport"),
                  "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=ISO-8859-1\\n\"\n\n"
                  "msgid \"x\"\nmsgstr \"\xE8\"\n");
    auto bytes = ReadBytes(CataloguePath("qorport"));
    bytes.resize(24); // header only: its tables lie past the end
    WriteBytes(CataloguePath("qorport"), bytes);
    auto module = Start();
    TQorPortMessages texts;
    ASSERT_EQ(fReported.size(), 1u);
    EXPECT_EQ(fReported[0],
              "This file is not a valid GNU gettext mo file: " + CataloguePath("qorport"));
    EXPECT_FALSE(module->IsTranslating());
    EXPECT_EQ(TranslateResourceString("Cancel"), "Cancel");
}

TEST_F(LocalizationModuleTest, ResourceStringsFromManyThreadsWhileDomainsAreAdded)
{
    CompileCatalogue(CataloguePath("default"), {{"Cancel", "Annulla"}});
    CompileCatalogue(CataloguePath("qorport"), {{"Registry error", "Errore del registro"}});
    auto module = Start();
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 300; ++i) {
                if (TranslateResourceString("Cancel") != "Annulla") ++wrong;
                const std::string r = TranslateResourceString("Registry error");
                if (r != "Registry error" && r != "Errore del registro") ++wrong;
            }
        });
    }
    AddResourceDomain("qorport");
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(TranslateResourceString("Registry error"), "Errore del registro");
}

} // namespace
