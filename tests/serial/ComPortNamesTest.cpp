// Windows' COM ports as text: names, order, USB adapters told by instance ids, the port box's line.
#include "serial/ComPortNames.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

TEST(ComPortNames, NamesOrderAndTheSamePortUnderItsSpellings)
{
    const struct
    {
        std::string Name;
        std::optional<unsigned> Number;
    } names[] = {
        {"COM1", 1},
        {"com12", 12},
        {R"(\\.\COM12)", 12},
        {R"(\\.\cOm256)", 256},
        {"COM", std::nullopt},
        {"COM0", std::nullopt},
        {"COM012", std::nullopt},
        {"COM1x", std::nullopt},
        {"COM1234", std::nullopt},
        {"LPT1", std::nullopt},
        {R"(\\?\COM3)", std::nullopt},
        {"/dev/ttyS0", std::nullopt},
    };
    for (const auto& row : names)
        EXPECT_EQ(ComPortNumber(row.Name), row.Number) << row.Name;

    EXPECT_TRUE(SameComPort("COM12", R"(\\.\com12)"));
    EXPECT_FALSE(SameComPort("COM12", "COM1"));
    EXPECT_FALSE(SameComPort("CNCA0", "cnca0")); // other device names only as written
    EXPECT_TRUE(SameComPort("CNCA0", "CNCA0"));

    std::vector<std::string> sorted{"COM10", "CNCA0", "COM2", R"(\\.\COM3)", "COM1"};
    std::sort(sorted.begin(), sorted.end(),
              [](const std::string& a, const std::string& b) { return ComPortBefore(a, b); });
    EXPECT_EQ(sorted, (std::vector<std::string>{"COM1", "COM2", R"(\\.\COM3)", "COM10", "CNCA0"}));
}

TEST(ComPortNames, TheUsbAdapterIsToldByTheInstanceIdsOfThePortAndItsParents)
{
    const struct
    {
        std::vector<std::string> Ids; // the port's, then its parents'
        std::optional<TUsbIdentity> Expected;
    } cases[] = {
        // A CDC device that is only a serial port: its own id.
        {{R"(USB\VID_2341&PID_0043\85735313233351D02181)"},
         TUsbIdentity{.Vendor = "2341", .Product = "0043", .Serial = "85735313233351D02181"}},
        // One function of a composite device: the ids from the interface, the serial from above.
        {{R"(USB\VID_2E8A&PID_000A&MI_00\6&3A4F2B1&0&0000)", R"(USB\VID_2E8A&PID_000A\E6614C311B)"},
         TUsbIdentity{.Vendor = "2e8a", .Product = "000a", .Serial = "E6614C311B"}},
        // No serial number: Windows made the last part up.
        {{R"(USB\VID_1A86&PID_7523\5&2A5C3F4&0&2)"},
         TUsbIdentity{.Vendor = "1a86", .Product = "7523", .Serial = ""}},
        // FTDI's driver: the USB device above says the serial; its letter is never taken.
        {{R"(FTDIBUS\VID_0403+PID_6001+A50285BIA\0000)", R"(USB\VID_0403&PID_6001\A50285BI)"},
         TUsbIdentity{.Vendor = "0403", .Product = "6001", .Serial = "A50285BI"}},
        // The second port of a dual chip, its USB device out of reach: the letter goes.
        {{R"(FTDIBUS\VID_0403+PID_6010+FT4ZQ8B7B\0000)"},
         TUsbIdentity{.Vendor = "0403", .Product = "6010", .Serial = "FT4ZQ8B7"}},
        {{R"(FTDIBUS\VID_0403+PID_6001+5&1C2D3E&0&1\0000)"},
         TUsbIdentity{.Vendor = "0403", .Product = "6001", .Serial = ""}},
        // Behind a hub that has a serial number of its own: not the hub's.
        {{R"(USB\VID_1A86&PID_7523\5&2A5C3F4&0&2)", R"(USB\VID_05E3&PID_0610\HUB0042)"},
         TUsbIdentity{.Vendor = "1a86", .Product = "7523", .Serial = ""}},
        // Not on USB: a motherboard's UART, a virtual port driver.
        {{R"(ACPI\PNP0501\1)", R"(ACPI_HAL\PNP0C08\0)"}, std::nullopt},
        {{R"(COM0COM\PORT\CNCA0)", R"(ROOT\COM0COM\0000)"}, std::nullopt},
        {{R"(USB\ROOT_HUB30\4&1F3A6D0&0&0)"}, std::nullopt},
        {{}, std::nullopt},
    };
    for (const auto& row : cases) {
        const auto identity = UsbIdentityFromInstanceIds(row.Ids);
        const std::string at = row.Ids.empty() ? "(none)" : row.Ids.front();
        ASSERT_EQ(identity.has_value(), row.Expected.has_value()) << at;
        if (!identity) continue;
        EXPECT_EQ(identity->Vendor, row.Expected->Vendor) << at;
        EXPECT_EQ(identity->Product, row.Expected->Product) << at;
        EXPECT_EQ(identity->Serial, row.Expected->Serial) << at;
    }
}

TEST(ComPortNames, EachPortIsListedOnceInOrderWithWhatWindowsSaysOfIt)
{
    const std::vector<TComPortFacts> facts{
        {"COM10",
         "USB Serial Port (COM10)",
         "FTDI",
         {R"(FTDIBUS\VID_0403+PID_6001+A50285BIA\0000)", R"(USB\VID_0403&PID_6001\A50285BI)"}},
        {"COM1", "Communications Port (COM1)", "(Standard port types)", {R"(ACPI\PNP0501\1)"}},
        {"COM4", "", "", {R"(USB\VID_2341&PID_0043\8573531)"}},
        {"COM3", "USB-SERIAL CH340 (COM3)", "wch.cn", {R"(USB\VID_1A86&PID_7523\5&2A5C3F4&0&2)"}},
        {"com10", "", "", {}}, // the same port again, from the DOS device names: once
        {"COM2", "", "", {}},  // only a DOS device name (a Wine link)
    };
    const auto listed = DescribeComPorts(facts);
    const std::vector<std::pair<std::string, std::string>> expected{
        {"COM1", "COM1 \u2014 Communications Port"},
        {"COM2", "COM2"},
        {"COM3", "COM3 \u2014 USB-SERIAL CH340 (wch.cn)"},
        {"COM4", "COM4 \u2014 usb 2341:0043 8573531"},
        {"COM10", "COM10 \u2014 USB Serial Port (FTDI) A50285BI"},
    };
    ASSERT_EQ(listed.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(listed[i].Path, expected[i].first);
        EXPECT_EQ(listed[i].Description, expected[i].second);
    }
}

} // namespace
