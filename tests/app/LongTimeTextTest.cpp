#include "app/LongTimeText.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

namespace {

TEST(LongTimeText, TwentyFourHourLocalesShowHoursMinutesSeconds)
{
    EXPECT_EQ(LongTimeText(QTime(0, 0).addSecs(3725), QLocale(QStringLiteral("it_IT"))),
              QStringLiteral("01:02:05"));
    EXPECT_EQ(LongTimeText(QTime(0, 0).addSecs(0), QLocale(QStringLiteral("fr_FR"))),
              QStringLiteral("00:00:00"));
    EXPECT_EQ(LongTimeText(QTime(0, 0).addSecs(59), QLocale(QStringLiteral("de_DE"))),
              QStringLiteral("00:00:59"));
    // The zone field that leads this locale's format is left out too.
    EXPECT_EQ(LongTimeText(QTime(0, 0).addSecs(3725), QLocale(QStringLiteral("zh_CN"))),
              QStringLiteral("01:02:05"));
}

TEST(LongTimeText, TwelveHourLocalesReadAsJustAfterMidnight)
{
    const QLocale us(QStringLiteral("en_US"));
    EXPECT_EQ(LongTimeText(QTime(0, 0).addSecs(0), us), QStringLiteral("12:00:00 AM"));
    EXPECT_EQ(LongTimeText(QTime(0, 0).addSecs(3725), us), QStringLiteral("1:02:05 AM"));
    // Korean puts the morning marker first.
    const QLocale ko(QStringLiteral("ko_KR"));
    const QString text = LongTimeText(QTime(0, 0).addSecs(3725), ko);
    EXPECT_TRUE(text.startsWith(ko.amText())) << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("UTC"))) << text.toStdString();
}

} // namespace
