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
        {{"Choice >1\r\n"}, false},             // the prompt inside a longer line
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

TEST(TRestartWatch, ConfirmationIsThePromptOrAnyMenuMarkWhenNoneWasLearnt)
{
    TRestartWatch learnt;
    learnt.Learn("Choice >");
    learnt.PromptAnswered();
    learnt.BeginTransfer();
    EXPECT_FALSE(learnt.ShowsPrompt("\r\nLoad done -> 0x400000\r\n"));
    EXPECT_FALSE(learnt.ShowsPrompt("\r\nChoi"));
    EXPECT_TRUE(learnt.ShowsPrompt("ce >"));

    TRestartWatch blank;
    blank.BeginTransfer();
    EXPECT_FALSE(blank.ShowsRestart("anything\r\n"));
    EXPECT_TRUE(blank.ShowsPrompt("done\r\n>"));
}

} // namespace
