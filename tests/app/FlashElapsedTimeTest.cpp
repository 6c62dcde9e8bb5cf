#include "app/ElapsedTimeText.h"

#include <QCoreApplication>

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

} // namespace
