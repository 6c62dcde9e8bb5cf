#include "sim/DevSimCommandLine.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

namespace {

TDevSimCommandLine Parse(std::vector<std::string_view> arguments)
{
    return ParseDevSimCommandLine(arguments);
}

std::string ErrorOf(std::vector<std::string_view> arguments)
{
    try {
        Parse(arguments);
    } catch (const std::invalid_argument& error) {
        return error.what();
    }
    return "(accepted)";
}

} // namespace

TEST(DevSimCommandLine, DefaultsMatchTheRealDevice)
{
    const TDevSimCommandLine parsed = Parse({});
    EXPECT_EQ(parsed.Device.Baudrate, 115200);
    EXPECT_EQ(parsed.Device.ReplyDelay.count(), 0);
    EXPECT_EQ(parsed.Device.AnswerEvery, 1);
    EXPECT_EQ(parsed.Device.ProgressEvery, 16);
    EXPECT_EQ(parsed.Device.ErreurAtRecord, 0);
    EXPECT_EQ(parsed.Device.SilenceFromRecord, 0);
    EXPECT_EQ(parsed.Device.HangUpAtRecord, 0);
    EXPECT_TRUE(parsed.DumpImagePath.empty());
    EXPECT_FALSE(parsed.ShowHelp);
}

TEST(DevSimCommandLine, EveryFlagReachesItsOption)
{
    const TDevSimCommandLine parsed =
        Parse({"--baud", "9600", "--reply-delay-ms=25", "--answer-every", "3", "--progress-every",
               "8", "--erreur-at=5", "--silence-from", "6", "--hangup-at", "7", "--dump-image",
               "/tmp/image.s19", "--help"});
    EXPECT_EQ(parsed.Device.Baudrate, 9600);
    EXPECT_EQ(parsed.Device.ReplyDelay.count(), 25);
    EXPECT_EQ(parsed.Device.AnswerEvery, 3);
    EXPECT_EQ(parsed.Device.ProgressEvery, 8);
    EXPECT_EQ(parsed.Device.ErreurAtRecord, 5);
    EXPECT_EQ(parsed.Device.SilenceFromRecord, 6);
    EXPECT_EQ(parsed.Device.HangUpAtRecord, 7);
    EXPECT_EQ(parsed.DumpImagePath, "/tmp/image.s19");
    EXPECT_TRUE(parsed.ShowHelp);
    EXPECT_EQ(Parse({"--baud=off"}).Device.Baudrate, 0);
}

TEST(DevSimCommandLine, RejectsWhatItCannotUse)
{
    EXPECT_EQ(ErrorOf({"--baud"}), "missing value for --baud");
    EXPECT_EQ(ErrorOf({"--baud", "fast"}), "invalid value 'fast' for --baud");
    EXPECT_EQ(ErrorOf({"--erreur-at", "-1"}), "invalid value '-1' for --erreur-at");
    EXPECT_EQ(ErrorOf({"--answer-every", "12x"}), "invalid value '12x' for --answer-every");
    EXPECT_EQ(ErrorOf({"--hangup-at", "99999999999"}),
              "invalid value '99999999999' for --hangup-at");
    EXPECT_EQ(ErrorOf({"--dump-image="}), "missing value for --dump-image");
    EXPECT_EQ(ErrorOf({"--turbo"}), "unknown option '--turbo'");
    EXPECT_EQ(ErrorOf({"COM1"}), "unknown option 'COM1'");
}
