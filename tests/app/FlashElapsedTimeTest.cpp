#include "app/EInOutError.h"
#include "app/ElapsedTimeText.h"
#include "app/TFirmwareFile.h"

#include <QCoreApplication>
#include <QTranslator>

#include <gtest/gtest.h>

namespace {

TEST(FlashElapsedTime, TwentyFourHourLocalesShowHoursMinutesSeconds)
{
    EXPECT_EQ(ElapsedTimeText(3725, QLocale(QStringLiteral("it_IT"))), QStringLiteral("01:02:05"));
    EXPECT_EQ(ElapsedTimeText(0, QLocale(QStringLiteral("fr_FR"))), QStringLiteral("00:00:00"));
    EXPECT_EQ(ElapsedTimeText(59, QLocale(QStringLiteral("de_DE"))), QStringLiteral("00:00:59"));
    // The zone field that leads this locale's format is left out too.
    EXPECT_EQ(ElapsedTimeText(3725, QLocale(QStringLiteral("zh_CN"))), QStringLiteral("01:02:05"));
}

TEST(FlashElapsedTime, TwelveHourLocalesReadAsJustAfterMidnight)
{
    const QLocale us(QStringLiteral("en_US"));
    EXPECT_EQ(ElapsedTimeText(0, us), QStringLiteral("12:00:00 AM"));
    EXPECT_EQ(ElapsedTimeText(3725, us), QStringLiteral("1:02:05 AM"));
    // Korean puts the morning marker first.
    const QLocale ko(QStringLiteral("ko_KR"));
    const QString text = ElapsedTimeText(3725, ko);
    EXPECT_TRUE(text.startsWith(ko.amText())) << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("UTC"))) << text.toStdString();
}

TEST(FlashElapsedTime, DayLongTransfersWrapAndNegativeShowsZero)
{
    const QLocale it(QStringLiteral("it_IT"));
    EXPECT_EQ(ElapsedTimeText(24 * 3600 + 5, it), QStringLiteral("00:00:05"));
    EXPECT_EQ(ElapsedTimeText(-3, it), QStringLiteral("00:00:00"));
}

// Stands in for the catalogue that the language start-up installs.
class FrenchRunTime : public QTranslator
{
public:
    QString translate(const char* context, const char* sourceText, const char*, int) const override
    {
        if (QByteArray(context) != "RunTime") return {};
        if (QByteArray(sourceText) == "File not found")
            return QStringLiteral("Fichier introuvable");
        if (QByteArray(sourceText) == "I/O error %d") return QStringLiteral("Erreur d'E/S %d");
        return {};
    }
    bool isEmpty() const override { return false; }
};

TEST(FlashErrorText, FileErrorsGoThroughTheTranslatorInForce)
{
    FrenchRunTime french;
    ASSERT_TRUE(QCoreApplication::installTranslator(&french));
    const std::string notFound = InOutErrorText(ENOENT);
    const std::string io = InOutErrorText(EIO);
    std::string thrown;
    try {
        TFirmwareFile file("/nonexistent-folder-for-tarvel/file.s19");
    } catch (const EInOutError& e) {
        thrown = e.what();
    }
    QCoreApplication::removeTranslator(&french);

    EXPECT_EQ(notFound, "Fichier introuvable");
    EXPECT_EQ(io, "Erreur d'E/S " + std::to_string(EIO));
    EXPECT_EQ(thrown, "Fichier introuvable");
    EXPECT_EQ(InOutErrorText(ENOENT), "File not found"); // translator removed again
}

} // namespace
