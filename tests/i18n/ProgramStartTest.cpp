// The program's start-up order with the localization: module first, then the application object
// (the test main's), the translator and the serial texts, then the main window.
#include "tests/i18n/CatalogueFixtures.h"
#include "tests/i18n/EnvironmentGuard.h"

#include "window/ErrorBoxText.h"
#include "app/TErrorReport.h"
#include "app/TForm1.h"
#include "i18n/TLocalizationModule.h"
#include "i18n/qt/TQtLocalization.h"

#include <QCoreApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPushButton>
#include <gtest/gtest.h>

#include <filesystem>

using namespace i18n_test;

namespace {

class ProgramStartTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        fEnvironment.Set("LANG", "it_IT.UTF-8");
        fPreviousSink = TErrorReport::SetSink([this](const QString& text) { fShown << text; });
    }
    void TearDown() override { TErrorReport::SetSink(fPreviousSink); }

    TLocalizationOptions Options()
    {
        TLocalizationOptions options;
        options.ExecutablePath = fDir / "tarvel";
        options.ReportError = [](const std::string& message) { TErrorReport::Show(message); };
        return options;
    }

    TEnvironmentGuard fEnvironment;
    TTempDir fDir;
    QStringList fShown;
    TErrorReport::TSink fPreviousSink;
};

TEST_F(ProgramStartTest, BrokenCatalogueIsReportedAndTheWindowStillComesUpUntranslated)
{
    const std::string broken = fDir / "locale/it/LC_MESSAGES/default.mo";
    WriteBytes(broken, std::vector<char>(40, 'x'));

    TLocalizationModule localization(Options());
    TQtLocalization qtLocalization;
    TForm1 form;
    form.show();
    QCoreApplication::processEvents();

    EXPECT_TRUE(form.isVisible());
    ASSERT_EQ(fShown.size(), 1);
    EXPECT_EQ(fShown[0], QString::fromStdString(ErrorBoxText(
                             "This file is not a valid GNU gettext mo file: " + broken)));
    EXPECT_FALSE(localization.IsTranslating());
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), "Cancel");
}

TEST_F(ProgramStartTest, ItalianStartUpTranslatesTheErrorBoxButNotTheWindow)
{
    const auto target = fDir.Path() / "locale/it/LC_MESSAGES";
    std::filesystem::create_directories(target);
    std::filesystem::copy_file(std::string(TARVEL_SHIPPED_LOCALE) + "/it/LC_MESSAGES/default.mo",
                               target / "default.mo");

    TLocalizationModule localization(Options());
    TForm1 untranslatedReference; // built before the translator exists
    TQtLocalization qtLocalization;
    TForm1 form;
    form.show();
    QCoreApplication::processEvents();
    EXPECT_TRUE(fShown.isEmpty());

    // The window's own texts come from its layout and pass through no catalogue (the standard
    // dialogs it holds are Qt's and do follow the catalogue).
    const auto ownButtons = [](const TForm1& window) {
        QList<QPushButton*> own;
        for (QPushButton* button : window.findChildren<QPushButton*>()) {
            QWidget* dialog = button->parentWidget();
            while (dialog && !qobject_cast<QDialog*>(dialog))
                dialog = dialog->parentWidget();
            if (!dialog) own << button;
        }
        return own;
    };
    const auto referenceButtons = ownButtons(untranslatedReference);
    const auto buttons = ownButtons(form);
    ASSERT_FALSE(buttons.isEmpty());
    ASSERT_EQ(buttons.size(), referenceButtons.size());
    for (qsizetype i = 0; i < buttons.size(); ++i)
        EXPECT_EQ(buttons[i]->text(), referenceButtons[i]->text());

    // The error box the program shows, with its button from the catalogue.
    QMessageBox box(QMessageBox::Critical, "Tarvel", "File not found",
                    QMessageBox::Ok | QMessageBox::Cancel, &form);
    box.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(box.button(QMessageBox::Cancel)->text(), "Annulla");
    EXPECT_EQ(QCoreApplication::translate("Runtime", "File not found"), "File non trovato");
}

} // namespace
