#include "window/CommandLine.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TCommandLineOptions Parse(std::vector<std::string> args)
{
    return ParseCommandLine(args);
}

std::string ErrorOf(std::vector<std::string> args)
{
    try {
        ParseCommandLine(args);
    } catch (const EUsage& error) {
        return error.what();
    }
    return "(no error)";
}

TEST(CommandLine, NoArgumentsLeavesEverythingAtDefault)
{
    const TCommandLineOptions options = Parse({});
    EXPECT_TRUE(options.DevicePaths.empty());
    EXPECT_FALSE(options.ListPorts);
    EXPECT_FALSE(options.Demo);
    EXPECT_FALSE(options.Help);
    EXPECT_FALSE(options.Version);
}

TEST(CommandLine, PortDevicesInBothSpellings)
{
    const TCommandLineOptions options =
        Parse({"--com1", "/dev/ttyUSB0", "--com2=/dev/serial/by-id/usb-FTDI=1"});
    const std::map<int, std::string> expected{{1, "/dev/ttyUSB0"},
                                              {2, "/dev/serial/by-id/usb-FTDI=1"}};
    EXPECT_EQ(options.DevicePaths, expected);
}

TEST(CommandLine, RepeatedPortOptionKeepsTheLastDevice)
{
    const TCommandLineOptions options = Parse({"--com2", "/dev/pts/1", "--com2", "/dev/pts/7"});
    ASSERT_EQ(options.DevicePaths.size(), 1u);
    EXPECT_EQ(options.DevicePaths.at(2), "/dev/pts/7");
}

TEST(CommandLine, DeviceNameMayStartWithADash)
{
    // The value slot takes the next argument whatever it looks like.
    EXPECT_EQ(Parse({"--com1", "-odd"}).DevicePaths.at(1), "-odd");
}

TEST(CommandLine, Flags)
{
    const TCommandLineOptions options = Parse({"--list-ports", "--help", "--version"});
    EXPECT_TRUE(options.ListPorts);
    EXPECT_TRUE(options.Help);
    EXPECT_TRUE(options.Version);
    EXPECT_FALSE(options.Demo);
    EXPECT_TRUE(Parse({"-h"}).Help);
    EXPECT_TRUE(Parse({"--demo"}).Demo);
}

TEST(CommandLine, Errors)
{
    EXPECT_EQ(ErrorOf({"--com1"}), "option '--com1' needs a device path");
    EXPECT_EQ(ErrorOf({"--com2="}), "option '--com2' needs a device path");
    EXPECT_EQ(ErrorOf({"--com1", ""}), "option '--com1' needs a device path");
    EXPECT_EQ(ErrorOf({"--com3", "/dev/ttyS2"}), "unknown option '--com3'");
    EXPECT_EQ(ErrorOf({"/dev/ttyUSB0"}), "unexpected argument '/dev/ttyUSB0'");
    EXPECT_EQ(ErrorOf({"--demo", "--com1", "/dev/ttyUSB0"}),
              "option '--demo' cannot be combined with '--com1' or '--com2'");
}

TEST(CommandLine, HelpNamesEveryOption)
{
    const std::string help = CommandLineHelp("tarvel");
    EXPECT_EQ(help.rfind("Usage: tarvel", 0), 0u);
    for (const char* option : {"--com1", "--com2", "--list-ports", "--demo", "--help", "--version"})
        EXPECT_NE(help.find(option), std::string::npos) << option;
    EXPECT_EQ(VersionText().rfind("Tarvel ", 0), 0u);
}

} // namespace
