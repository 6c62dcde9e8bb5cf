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
    } catch (const EUsage& error) {
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
    EXPECT_EQ(ErrorOf({"--baud"}), "option '--baud' needs a value");
    EXPECT_EQ(ErrorOf({"--baud", "fast"}),
              "option '--baud' takes a whole number from 0, not 'fast'");
    EXPECT_EQ(ErrorOf({"--erreur-at", "-1"}),
              "option '--erreur-at' takes a whole number from 0, not '-1'");
    EXPECT_EQ(ErrorOf({"--answer-every", "12x"}),
              "option '--answer-every' takes a whole number from 0, not '12x'");
    EXPECT_EQ(ErrorOf({"--hangup-at", "99999999999"}),
              "option '--hangup-at' takes a whole number from 0, not '99999999999'");
    EXPECT_EQ(ErrorOf({"--fault-records", "0"}),
              "option '--fault-records' takes a whole number from 1, not '0'");
    EXPECT_EQ(ErrorOf({"--dump-image="}), "option '--dump-image' needs a value");
    EXPECT_EQ(ErrorOf({"--turbo"}), "unknown option '--turbo'");
    EXPECT_EQ(ErrorOf({"COM1"}), "unexpected argument 'COM1'");
}
