// The toolkit's own texts (standard dialog buttons, file dialog labels) shown through the shipped
// catalogues once the resource translator is installed.
#include "tests/i18n/CatalogueFixtures.h"
#include "tests/i18n/EnvironmentGuard.h"

#include "i18n/TLocalizationModule.h"
#include "i18n/qt/TQtLocalization.h"
#include "i18n/qt/TQtTranslationHook.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QToolButton>
#include <gtest/gtest.h>

#include <filesystem>

using namespace i18n_test;

namespace {

class ResourceTranslatorTest : public ::testing::Test
{
protected:
    void StartIn(const std::string& language, bool shipped = true)
    {
        fEnvironment.Set("LANG", language + ".UTF-8");
        if (shipped) {
            const std::string code = language.substr(0, 2);
            const auto target = fDir.Path() / "locale" / code / "LC_MESSAGES";
            std::filesystem::create_directories(target);
            std::filesystem::copy_file(std::string(TARVEL_SHIPPED_LOCALE) + "/" + code +
                                           "/LC_MESSAGES/default.mo",
                                       target / "default.mo");
        }
        TLocalizationOptions options;
        options.ExecutablePath = fDir / "tarvel";
        options.ReportError = [this](const std::string& m) { fReported.push_back(m); };
        fModule = std::make_unique<TLocalizationModule>(std::move(options));
    }

    static QString Tr(const char* context, const char* text)
    {
        return QCoreApplication::translate(context, text);
    }

    static QString LabelText(const QFileDialog& dialog, const char* name)
    {
        auto* label = dialog.findChild<QLabel*>(name);
        return label ? label->text() : QStringLiteral("<no %1>").arg(name);
    }

    static QString ToolTip(const QFileDialog& dialog, const char* name)
    {
        auto* button = dialog.findChild<QToolButton*>(name);
        return button ? button->toolTip() : QStringLiteral("<no %1>").arg(name);
    }

    TEnvironmentGuard fEnvironment;
    TTempDir fDir;
    std::vector<std::string> fReported;
    std::unique_ptr<TLocalizationModule> fModule;
};

TEST_F(ResourceTranslatorTest, MessageBoxButtonsComeFromTheItalianCatalogue)
{
    StartIn("it_IT");
    TQtLocalization localization;

    QMessageBox box(QMessageBox::Critical, "Tarvel", "File not found",
                    QMessageBox::Ok | QMessageBox::Cancel | QMessageBox::Yes | QMessageBox::No |
                        QMessageBox::Close | QMessageBox::Retry);
    box.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(box.button(QMessageBox::Ok)->text(), "OK");
    EXPECT_EQ(box.button(QMessageBox::Cancel)->text(), "Annulla");
    EXPECT_EQ(box.button(QMessageBox::Yes)->text(), QString::fromUtf8("&Sì"));
    EXPECT_EQ(box.button(QMessageBox::No)->text(), "&No");
    EXPECT_EQ(box.button(QMessageBox::Close)->text(), "Chiudi");
    EXPECT_EQ(box.button(QMessageBox::Retry)->text(), "Riprova");
    // The window's own text is never translated; only what passes through translate().
    EXPECT_EQ(box.text(), "File not found");
    EXPECT_EQ(box.windowTitle(), "Tarvel");
    EXPECT_TRUE(fReported.empty());
}

TEST_F(ResourceTranslatorTest, FileDialogLabelsComeFromTheItalianCatalogue)
{
    StartIn("it_IT");
    TQtLocalization localization;

    QFileDialog dialog(nullptr, "Tarvel", fDir.Path().string().c_str());
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.show();
    QCoreApplication::processEvents();

    EXPECT_EQ(LabelText(dialog, "lookInLabel"), "Cerca in:");
    EXPECT_EQ(LabelText(dialog, "fileNameLabel"), "&Nome file:");
    EXPECT_EQ(LabelText(dialog, "fileTypeLabel"), "File di tipo:");
    EXPECT_EQ(ToolTip(dialog, "listModeButton"), "Vista elenco");
    EXPECT_EQ(ToolTip(dialog, "detailModeButton"), "Vista dettagliata");
    EXPECT_EQ(ToolTip(dialog, "toParentButton"), "Cartella superiore");
    auto* buttons = dialog.findChild<QDialogButtonBox*>("buttonBox");
    ASSERT_NE(buttons, nullptr);
    QStringList texts;
    for (QAbstractButton* button : buttons->buttons())
        texts << button->text();
    EXPECT_TRUE(texts.contains("&Apri")) << texts.join(", ").toStdString();
    EXPECT_TRUE(texts.contains("Annulla")) << texts.join(", ").toStdString();
}

TEST_F(ResourceTranslatorTest, FrenchCatalogueAndRuntimeTexts)
{
    StartIn("fr_FR");
    TQtLocalization localization;
    EXPECT_EQ(Tr("QPlatformTheme", "Cancel"), "Annuler");
    EXPECT_EQ(Tr("QFileDialog", "Look in:"), "Regarder dans :");
    EXPECT_EQ(Tr("QFileDialog", "%1 already exists.\nDo you want to replace it?"),
              QString::fromUtf8("%1 existe déjà.\nVoulez-vous le remplacer ?"));
    EXPECT_EQ(Tr("Runtime", "File not found"), "Fichier introuvable");
    EXPECT_EQ(Tr("Runtime", "I/O error %d"), "Erreur d'E/S %d");
    EXPECT_EQ(QString::fromStdString(Translate(TQorPortMessages::SourceTexts[0])),
              QString::fromUtf8("Impossible d'ouvrir le port série"));
    // Texts the catalogue does not know stay as Qt has them, line ends included.
    EXPECT_EQ(Tr("QShortcut", "Alt"), "Alt");
    EXPECT_EQ(Tr("Any", "first\nsecond"), "first\nsecond");
}

TEST_F(ResourceTranslatorTest, EveryShippedTextIsTranslatedInBothLanguages)
{
    for (const char* language : {"it", "fr"}) {
        const auto [status, listing] =
            RunCommand("msgunfmt --no-wrap " +
                       ShellQuoted(std::string(TARVEL_SHIPPED_LOCALE) + "/" + language +
                                   "/LC_MESSAGES/default.mo") +
                       " | grep -c '^msgid '");
        ASSERT_EQ(status, 0);
        // header + toolkit texts + runtime errors + the serial library's 23 texts
        EXPECT_GT(std::stoi(listing), 1 + 60 + 8 + 23) << language;
    }
    StartIn("it_IT");
    TQtLocalization localization;
    for (std::size_t i = 0; i < TQorPortMessages::Count; ++i)
        EXPECT_NE(Translate(TQorPortMessages::SourceTexts[i]), TQorPortMessages::SourceTexts[i])
            << i;
    for (const char* text :
         {"File not found", "File access denied", "Too many open files", "Invalid file name",
          "Disk full", "Read beyond end of file", "File not open", "I/O error %d"})
        EXPECT_NE(Tr("Runtime", text), text) << text;
}

TEST_F(ResourceTranslatorTest, TranslatorLeavesWithItsHook)
{
    StartIn("it_IT");
    {
        TQtTranslationHook hook;
        EXPECT_FALSE(hook.Translator().isEmpty());
        EXPECT_EQ(Tr("QPlatformTheme", "Cancel"), "Annulla");
    }
    EXPECT_EQ(Tr("QPlatformTheme", "Cancel"), "Cancel");
}

TEST_F(ResourceTranslatorTest, CatalogueErrorsInsideQtAreReportedOnceAndTheSourceIsUsed)
{
    WriteBytes(fDir / "locale/it/LC_MESSAGES/default.mo", std::vector<char>(40, 'x'));
    StartIn("it_IT", false);
    std::vector<std::string> translationErrors;
    TQtTranslationHook hook([&](const std::string& m) { translationErrors.push_back(m); });

    EXPECT_EQ(Tr("QPlatformTheme", "Cancel"), "Cancel");
    EXPECT_EQ(Tr("QPlatformTheme", "Cancel"), "Cancel");
    QMessageBox box(QMessageBox::Warning, "Tarvel", "text", QMessageBox::Ok);
    box.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(box.button(QMessageBox::Ok)->text(), "OK");
    ASSERT_EQ(translationErrors.size(), 1u);
    EXPECT_EQ(translationErrors[0], "This file is not a valid GNU gettext mo file: " +
                                        (fDir / "locale/it/LC_MESSAGES/default.mo"));
}

TEST_F(ResourceTranslatorTest, DamagedCatalogueAtStartUpLeavesQtUntranslated)
{
    WriteBytes(fDir / "locale/it/LC_MESSAGES/default.mo", std::vector<char>(40, 'x'));
    StartIn("it_IT", false);
    TQtLocalization localization;
    ASSERT_EQ(fReported.size(), 1u);
    EXPECT_EQ(fReported[0], "This file is not a valid GNU gettext mo file: " +
                                (fDir / "locale/it/LC_MESSAGES/default.mo"));
    QMessageBox box(QMessageBox::Critical, "Tarvel", "text", QMessageBox::Ok | QMessageBox::Cancel);
    box.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(box.button(QMessageBox::Cancel)->text(), "Cancel");
    EXPECT_EQ(fReported.size(), 1u);
}

} // namespace
