#include "sim/TDeviceDialogue.h"
#include "firmware/SRecord.h"
#include "sim/SRecordGenerator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// Bytes in, everything the device wrote back joined.
std::string Feed(TDeviceDialogue& device, std::string_view bytes)
{
    std::vector<std::string> replies;
    device.Receive(bytes, replies);
    std::string joined;
    for (const std::string& reply : replies)
        joined += reply;
    return joined;
}

std::vector<std::string> FeedReplies(TDeviceDialogue& device, std::string_view bytes)
{
    std::vector<std::string> replies;
    device.Receive(bytes, replies);
    return replies;
}

std::size_t CountOf(std::string_view text, char c)
{
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), c));
}

// Brings a device to the loading state the way the program's automatic answers do.
void Unlock(TDeviceDialogue& device)
{
    Feed(device, "\r\n");
    Feed(device, "2");
    ASSERT_NE(Feed(device, "qxvt").find("Send"), std::string::npos);
    ASSERT_EQ(device.State(), TDeviceState::Loading);
}

// The file as the program sends it: each line followed by CR alone.
std::string AsSent(const std::string& file)
{
    std::string sent;
    for (char c : file)
        if (c != '\r') sent += c == '\n' ? '\r' : c;
    return sent;
}

std::vector<std::string> RecordLines(const std::string& file)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = file.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(file.substr(start, end - start));
    return lines;
}

TLoadedImage ImageOf(const std::vector<uint8_t>& data, uint32_t base)
{
    TLoadedImage image;
    for (std::size_t i = 0; i < data.size(); ++i)
        image[static_cast<uint32_t>(base + i)] = data[i];
    return image;
}

TSRecordFileOptions LfFile()
{
    TSRecordFileOptions options;
    options.LineEnd = TLineEnd::Lf;
    return options;
}

} // namespace

TEST(TDeviceDialogueMenu, LineEndShowsBannerAndOneMenuEndingInPrompt)
{
    for (const std::string_view lineEnd : {"\r\n", "\r", "\n"}) {
        TDeviceDialogue device;
        EXPECT_EQ(Feed(device, "hello"), "") << "idle device waits for a line end";
        const std::string menu = Feed(device, lineEnd);
        EXPECT_NE(menu.find("boot loader"), std::string::npos);
        ASSERT_FALSE(menu.empty());
        EXPECT_EQ(menu.back(), '>');
        // One prompt character, or the program would answer twice.
        EXPECT_EQ(CountOf(menu, '>'), 1u);
        EXPECT_EQ(CountOf(menu, ':'), 0u);
        EXPECT_EQ(device.State(), TDeviceState::Menu);
    }
}

TEST(TDeviceDialogueMenu, DigitsChooseLoaderOrRepeatTheMenu)
{
    TDeviceDialogue device;
    Feed(device, "\r\n");
    EXPECT_EQ(Feed(device, "x"), "");
    const std::string other = Feed(device, "6");
    EXPECT_NE(other.find("not available"), std::string::npos);
    EXPECT_EQ(other.back(), '>');
    EXPECT_EQ(device.State(), TDeviceState::Menu);

    for (const char* digit : {"1", "2"}) {
        TDeviceDialogue chooser;
        Feed(chooser, "\r");
        const std::string prompt = Feed(chooser, digit);
        EXPECT_EQ(CountOf(prompt, ':'), 1u) << prompt;
        EXPECT_EQ(CountOf(prompt, '>'), 0u) << prompt;
        EXPECT_EQ(chooser.State(), TDeviceState::Password);
    }
}

TEST(TDeviceDialoguePassword, OnlyTheRightWordOpensTheLoader)
{
    TDeviceDialogue device;
    Feed(device, "\r\n");
    Feed(device, "2");

    const std::string wrong = Feed(device, "abcd");
    EXPECT_NE(wrong.find("Wrong password"), std::string::npos);
    EXPECT_EQ(CountOf(wrong, ':'), 1u) << "the prompt is repeated";
    EXPECT_EQ(wrong.find("Send"), std::string::npos);
    EXPECT_EQ(device.State(), TDeviceState::Password);

    const std::string shortOne = Feed(device, "qx\r");
    EXPECT_NE(shortOne.find("Wrong password"), std::string::npos);
    EXPECT_EQ(device.State(), TDeviceState::Password);

    EXPECT_NE(Feed(device, "QXVT").find("Wrong password"), std::string::npos);

    // Arriving a byte at a time, as over a slow line.
    EXPECT_EQ(Feed(device, "q"), "");
    EXPECT_EQ(Feed(device, "x"), "");
    EXPECT_EQ(Feed(device, "v"), "");
    const std::string ready = Feed(device, "t");
    EXPECT_NE(ready.find("loads3"), std::string::npos);
    EXPECT_NE(ready.find("Send"), std::string::npos);
    // Nothing the program would answer again.
    EXPECT_EQ(CountOf(ready, ':') + CountOf(ready, '>'), 0u);
    EXPECT_EQ(device.State(), TDeviceState::Loading);
}

TEST(TDeviceDialoguePassword, BlankLineAtThePromptGoesBackToTheMenu)
{
    TDeviceDialogue device;
    Feed(device, "\r\n");
    Feed(device, "1");
    EXPECT_EQ(Feed(device, "\r\n").back(), '>');
    EXPECT_EQ(device.State(), TDeviceState::Menu);
}

TEST(TDeviceDialogueLoading, ValidFileLoadsTheImageWhateverTheLineEnds)
{
    const auto data = GenerateFirmwareBytes(3000, 5);
    const std::string crlfFile = GenerateSRecordFile(data, 0x08000000);
    const std::string lfFile = GenerateSRecordFile(data, 0x08000000, LfFile());
    for (const std::string& sent : {AsSent(crlfFile), crlfFile, lfFile}) {
        TDeviceDialogue device;
        Unlock(device);
        const std::string replies = Feed(device, sent);
        EXPECT_EQ(device.Image(), ImageOf(data, 0x08000000));
        EXPECT_EQ(device.CompletedLoads(), 1u);
        EXPECT_EQ(device.RecordsReceived(), RecordLines(lfFile).size());
        EXPECT_NE(replies.find("Load complete - 96 records, 3000 data bytes"), std::string::npos);
        EXPECT_EQ(replies.find("ERREUR"), std::string::npos);
        EXPECT_EQ(replies.back(), '>');
        EXPECT_EQ(CountOf(replies, '>'), 1u);
        EXPECT_EQ(device.State(), TDeviceState::Menu);
    }
}

TEST(TDeviceDialogueLoading, RecordsSplitAcrossReadsAndS1S2RecordsLoadToo)
{
    TDeviceDialogue device;
    Unlock(device);
    const std::string lines = FormatSRecord({1, 0x1234, {1, 2, 3}}) + "\r" +
                              FormatSRecord({2, 0xABCDEF, {9}}) + "\r" + FormatSRecord({5, 2, {}}) +
                              "\r" + FormatSRecord({9, 0, {}}) + "\r";
    for (char c : lines)
        Feed(device, std::string_view(&c, 1));
    EXPECT_EQ(device.Image(), (TLoadedImage{{0x1234, 1}, {0x1235, 2}, {0x1236, 3}, {0xABCDEF, 9}}));
    EXPECT_EQ(device.CompletedLoads(), 1u);
}

// The program waits, after 64 unanswered lines, for answers of more than 11 characters: the
// device must give such an answer within every 16 records, and its progress texts must not
// contain what the program treats as prompts.
TEST(TDeviceDialogueLoading, AnswersSuitTheSendersWindowAndPrompts)
{
    const std::string file = GenerateSRecordFile(GenerateFirmwareBytes(32 * 300, 2), 0, LfFile());
    const std::vector<std::string> lines = RecordLines(file);
    TDeviceDialogue device;
    Unlock(device);

    std::size_t sinceLongAnswer = 0;
    std::size_t maxGap = 0;
    bool sawCr = false, sawBs = false, sawPlain = false;
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) { // all but the S7
        const auto replies = FeedReplies(device, lines[i] + "\r");
        ASSERT_LE(replies.size(), 1u);
        ++sinceLongAnswer;
        if (replies.empty()) continue;
        const std::string& reply = replies.front();
        EXPECT_EQ(CountOf(reply, ':') + CountOf(reply, '>'), 0u) << reply;
        EXPECT_EQ(reply.find("Send"), std::string::npos) << reply;
        sawCr |= reply.front() == '\r';
        sawBs |= reply.front() == '\b';
        sawPlain |= reply.front() != '\r' && reply.front() != '\b';
        if (reply.size() > 11) {
            maxGap = std::max(maxGap, sinceLongAnswer);
            sinceLongAnswer = 0;
        }
    }
    EXPECT_EQ(maxGap, 16u);
    EXPECT_TRUE(sawCr);
    EXPECT_TRUE(sawBs);
    EXPECT_TRUE(sawPlain);
}

TEST(TDeviceDialogueLoading, AnswerAndProgressPeriodsAreConfigurable)
{
    TDeviceDialogueOptions options;
    options.AnswerEvery = 0;
    options.ProgressEvery = 4;
    TDeviceDialogue device(options);
    Unlock(device);
    const std::string record = FormatSRecord({3, 0, {1, 2, 3}}) + "\r";
    std::size_t answered = 0;
    for (int i = 1; i <= 12; ++i) {
        const auto replies = FeedReplies(device, record);
        EXPECT_EQ(replies.size(), i % 4 == 0 ? 1u : 0u) << i;
        answered += replies.size();
    }
    EXPECT_EQ(answered, 3u);
}

TEST(TDeviceDialogueLoading, BadRecordGetsErreurAndLoaderRefusesUntilTheMenu)
{
    const auto data = GenerateFirmwareBytes(32 * 10, 9);
    std::vector<std::string> lines = RecordLines(GenerateSRecordFile(data, 0, LfFile()));
    lines[5].back() = lines[5].back() == '0' ? '1' : '0'; // corrupt the checksum of record 6

    TDeviceDialogue device;
    Unlock(device);
    std::string replies;
    for (const std::string& line : lines)
        replies += Feed(device, line + "\r");
    EXPECT_NE(replies.find("ERREUR record 6 - Checksum mismatch"), std::string::npos) << replies;
    EXPECT_EQ(CountOf(replies, ':') + CountOf(replies, '>'), 0u) << "nothing after the error";
    EXPECT_EQ(device.State(), TDeviceState::Refusing);
    EXPECT_EQ(device.CompletedLoads(), 0u);
    // Records 2..5 (data 0..127) loaded; nothing after the bad one.
    EXPECT_EQ(device.Image(), ImageOf(std::vector<uint8_t>(data.begin(), data.begin() + 128), 0));

    // A blank line (the program's Init) brings the menu back, and the loader can be opened again.
    EXPECT_EQ(Feed(device, "\r\n").back(), '>');
    Feed(device, "2");
    EXPECT_NE(Feed(device, "qxvt").find("Send"), std::string::npos);
}

TEST(TDeviceDialogueLoading, GarbageAndOverlongLinesAreBadRecords)
{
    for (const std::string& bad : {std::string("hello"), std::string("S4030000FC"),
                                   std::string(TDeviceDialogue::MaxLineLength + 100, 'S')}) {
        TDeviceDialogue device;
        Unlock(device);
        const std::string replies = Feed(device, bad + "\r");
        EXPECT_NE(replies.find("ERREUR"), std::string::npos) << bad.substr(0, 20);
        EXPECT_EQ(device.State(), TDeviceState::Refusing);
    }
}

TEST(TDeviceDialogueLoading, BlankLinesAreSkippedButInitAfterRecordsAbandonsTheLoad)
{
    TDeviceDialogue device;
    Unlock(device);
    // A stray CR LF straight after the password (a typed line) changes nothing.
    EXPECT_EQ(Feed(device, "\r\n"), "");
    const std::string record = FormatSRecord({3, 0x10, {7}});
    Feed(device, record + "\r\n\n\n"); // a record's CR LF, then blank lines ended by LF
    EXPECT_EQ(device.State(), TDeviceState::Loading);
    EXPECT_EQ(device.RecordsReceived(), 1u);
    // CR alone on a blank line (an empty line of the file) is skipped...
    EXPECT_EQ(Feed(device, "\r"), "");
    EXPECT_EQ(device.State(), TDeviceState::Loading);
    // ...CR LF (Init) leaves the loader; the LF may come in a later read.
    const std::string abandoned = Feed(device, "\n");
    EXPECT_NE(abandoned.find("Load abandoned"), std::string::npos);
    EXPECT_EQ(abandoned.back(), '>');
    EXPECT_EQ(device.State(), TDeviceState::Menu);
    EXPECT_EQ(device.Image(), (TLoadedImage{{0x10, 7}}));
}

TEST(TDeviceDialogueFaults, ErreurAtRecordKFiresOnce)
{
    TDeviceDialogueOptions options;
    options.ErreurAtRecord = 3;
    TDeviceDialogue device(options);
    Unlock(device);
    const std::string file = AsSent(GenerateSRecordFile(GenerateFirmwareBytes(200), 0));
    EXPECT_NE(Feed(device, file).find("ERREUR record 3"), std::string::npos);
    EXPECT_EQ(device.Image().size(), 32u);

    Feed(device, "\r\n");
    Feed(device, "2");
    Feed(device, "qxvt");
    EXPECT_EQ(Feed(device, file).find("ERREUR"), std::string::npos);
    EXPECT_EQ(device.Image().size(), 200u);
}

TEST(TDeviceDialogueFaults, SilenceFromRecordKStillLoadsButSaysNothing)
{
    TDeviceDialogueOptions options;
    options.SilenceFromRecord = 2;
    TDeviceDialogue device(options);
    Unlock(device);
    EXPECT_EQ(Feed(device, FormatSRecord({0, 0, {}}) + "\r"), "\b|");
    const auto data = GenerateFirmwareBytes(32 * 40);
    EXPECT_EQ(Feed(device, AsSent(GenerateSRecordFile(data, 0))), "");
    EXPECT_EQ(device.Image(), ImageOf(data, 0));
    EXPECT_EQ(device.CompletedLoads(), 1u);
    EXPECT_EQ(Feed(device, "\r\n"), "");
}

TEST(TDeviceDialogueFaults, HangUpAtRecordKStopsEverything)
{
    TDeviceDialogueOptions options;
    options.HangUpAtRecord = 3;
    TDeviceDialogue device(options);
    Unlock(device);
    const auto data = GenerateFirmwareBytes(32 * 5);
    const std::string replies = Feed(device, AsSent(GenerateSRecordFile(data, 0)));
    EXPECT_EQ(replies, "\b|\b/"); // records 1 and 2 answered, then nothing
    EXPECT_EQ(device.State(), TDeviceState::HungUp);
    EXPECT_EQ(device.Image().size(), 32u);
    EXPECT_EQ(Feed(device, "\r\n"), "");
}
