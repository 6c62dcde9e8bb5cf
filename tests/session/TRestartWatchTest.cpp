// Which device text during a transfer means the boot loader started afresh, learnt from its own
// dialogue before the transfer, whatever its wording.
#include "session/TRestartWatch.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct TDevice
{
    const char* Name;
    std::vector<std::string> AfterInit; // chunks, the last one holds the menu's '>'
    const char* Prompt;
    const char* Banner;
};

const TDevice Devices[] = {
    {"banner and menu",
     {"\r\n\r\nACME loader 2.3\r\n\r\n 1 boot\r\n 2 firmware\r\nChoice >"},
     "Choice >",
     "ACME loader 2.3"},
    {"split over chunks, prompt line ended",
     {"\r\nXY-Boot v7 (c) 2019", "\r\n[1] Boot [2] App\r\nsel", "ect> \r\n"},
     "select>",
     "XY-Boot v7 (c) 2019"},
    {"a short first line is no banner", {"OK\r\nmenu>"}, "menu>", ""},
    {"a bare prompt", {">"}, ">", ""},
};

TEST(TRestartWatch, LearnsThePromptAndTheBannerFromTheDialogue)
{
    for (const TDevice& device : Devices) {
        TRestartWatch watch;
        watch.ExpectBanner();
        for (const std::string& chunk : device.AfterInit)
            watch.Learn(chunk);
        watch.PromptAnswered();
        EXPECT_EQ(watch.Prompt(), device.Prompt) << device.Name;
        EXPECT_EQ(watch.Banner(), device.Banner) << device.Name;
    }
}

TEST(TRestartWatch, OnlyTheBannerOrThePromptComingBackIsARestart)
{
    TRestartWatch watch;
    watch.ExpectBanner();
    watch.Learn("\r\nACME loader 2.3\r\n 1 boot\r\n 2 firmware\r\nChoice >");
    watch.PromptAnswered();
    const struct
    {
        std::vector<std::string> Chunks;
        bool Restart;
    } cases[] = {
        {{"\rRecords    64 OK", "\b|", "\b/", "Loaded 128 records\r\n"}, false},
        {{"\rblock 12 -> 0x400200 ok"}, false}, // a '>' in an ordinary line
        {{"Choice >1\r\n"}, true},              // the prompt, then a line taken as a menu choice
        {{"\r\nACME loader 2.3\r\n"}, true},
        {{"\r\nACME lo", "ader 2.3\r", "\n"}, true},
        {{std::string("\x00\xff", 2), "ACME loader 2.3\r\n"},
         true}, // a reset's noise before the banner
        {{"\b|\r\n 2 firmware\r\nCho", "ice >"}, true},
        {{"\r\nERREUR 4\r\nChoice > "}, true}, // the caller takes a refusal first
    };
    for (const auto& c : cases) {
        watch.BeginTransfer();
        bool restart = false;
        std::string all;
        for (const std::string& chunk : c.Chunks) {
            restart = watch.ShowsRestart(chunk) || restart;
            all += chunk;
        }
        EXPECT_EQ(restart, c.Restart) << all;
    }
}

// After the last line: the menu confirms; the banner before it, then more text, is a device
// that restarted on the last records and took the rest of the file as menu choices.
TEST(TRestartWatch, AfterTheLastLineTheMenuConfirmsUnlessTheRestOfTheFileHitIt)
{
    const struct
    {
        std::vector<std::string> Chunks;
        bool Prompt, Banner, TextAfter;
    } cases[] = {
        {{"\r\nLoad done -> 0x400000\r\n"}, false, false, false},
        {{"\r\nLoad done\r\nChoi", "ce >"}, true, false, false},
        {{"\r\nLoad done\r\nACME loader 2.3\r\n 1 boot\r\nChoice > "}, true, true, false},
        {{"\r\nACME loader 2.3\r\nChoice >", "7\r\nbad choice\r\nChoice >"}, true, true, true},
    };
    for (const auto& c : cases) {
        TRestartWatch watch;
        watch.Learn("\r\nACME loader 2.3\r\n 1 boot\r\nChoice >");
        watch.PromptAnswered();
        watch.BeginTransfer();
        std::string all;
        for (const std::string& chunk : c.Chunks) {
            watch.TakeAfterLastLine(chunk);
            all += chunk;
        }
        EXPECT_EQ(watch.PromptAfterLastLine(), c.Prompt) << all;
        EXPECT_EQ(watch.BannerAfterLastLine(), c.Banner) << all;
        EXPECT_EQ(watch.TextAfterPrompt(), c.TextAfter) << all;
    }
    TRestartWatch blank;
    blank.BeginTransfer();
    EXPECT_FALSE(blank.ShowsRestart("anything\r\n"));
    blank.TakeAfterLastLine("done\r\n>");
    EXPECT_TRUE(blank.PromptAfterLastLine()); // without a prompt learnt, any '>'
}

} // namespace
