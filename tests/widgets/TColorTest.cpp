#include "widgets/TColor.h"

#include <QColor>
#include <QGuiApplication>
#include <QPalette>
#include <gtest/gtest.h>

namespace {

TEST(TColor, PlainColoursHaveRedInTheLowByte)
{
    EXPECT_EQ(ColorToQColor(clRed), QColor(255, 0, 0));
    EXPECT_EQ(ColorToQColor(clLime), QColor(0, 255, 0));
    EXPECT_EQ(ColorToQColor(clBlue), QColor(0, 0, 255));
    EXPECT_EQ(ColorToQColor(clMaroon), QColor(0x80, 0, 0));
    EXPECT_EQ(ColorToQColor(clNavy), QColor(0, 0, 0x80));
    EXPECT_EQ(ColorToQColor(0x00123456), QColor(0x56, 0x34, 0x12));
    EXPECT_EQ(ColorToQColor(clBlack), QColor(0, 0, 0));
    EXPECT_EQ(ColorToQColor(clWhite), QColor(255, 255, 255));
}

TEST(TColor, RoundTripThroughQColor)
{
    for (TColor c :
         {clBlack, clMaroon, clGreen, clNavy, clRed, clLime, clBlue, clWhite, TColor{0x00A1B2C3}})
        EXPECT_EQ(QColorToColor(ColorToQColor(c)), c) << std::hex << c;
}

TEST(TColor, SystemColoursFollowTheApplicationPalette)
{
    EXPECT_TRUE(IsSystemColor(clInfoBk));
    EXPECT_FALSE(IsSystemColor(clWhite));
    const QPalette original = QGuiApplication::palette();
    QPalette pal = original;
    pal.setColor(QPalette::Base, QColor(1, 2, 3));
    pal.setColor(QPalette::Button, QColor(4, 5, 6));
    pal.setColor(QPalette::ToolTipBase, QColor(7, 8, 9));
    QGuiApplication::setPalette(pal);
    EXPECT_EQ(ColorToQColor(clWindow), QColor(1, 2, 3));
    EXPECT_EQ(ColorToQColor(clBtnFace), QColor(4, 5, 6));
    EXPECT_EQ(ColorToQColor(clInfoBk), QColor(7, 8, 9));
    QGuiApplication::setPalette(original);
    EXPECT_EQ(ColorToQColor(clInfoBk), original.color(QPalette::ToolTipBase));
}

} // namespace
