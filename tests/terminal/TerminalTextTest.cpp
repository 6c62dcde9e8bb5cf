#include "terminal/TSpillFile.h"
#include "terminal/TTerminalText.h"
#ifndef _WIN32
#include "tests/terminal/TRefusedTmpFile.h"
#endif

#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <system_error>
#include <unistd.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/resource.h>
#endif

namespace {

std::vector<std::string> Lines(const TTerminalText& text)
{
    std::vector<std::string> lines;
    for (std::int64_t i = 0; i < text.LineCount(); ++i)
        lines.push_back(text.Line(i));
    return lines;
}

std::vector<std::string> Received(std::initializer_list<std::string_view> chunks)
{
    TTerminalText text;
    for (std::string_view chunk : chunks)
        text.AppendReceived(chunk);
    return Lines(text);
}

using TLines = std::vector<std::string>;

TEST(TerminalText, LineEndsAndBackspaceAsTheTerminalShowsThem)
{
    const struct
    {
        std::initializer_list<std::string_view> Chunks;
        TLines Shown;
    } cases[] = {
        {{"a\r\nb\nc\rd"}, {"a", "b", "c", "d"}},
        {{"a\r\r\nb"}, {"a", "", "b"}}, // CR, then CR LF
        {{"a\n\rb"}, {"a", "", "b"}},   // LF then CR are two ends
        {{"\n\n"}, {"", "", ""}},
        {{"menu\r", "\n>"}, {"menu", ">"}}, // split across chunks: still one
        {{"a\r", "", "b"}, {"a", "b"}},
        {{"a\r", "x\n"}, {"a", "x", ""}},    // the pairing only joins neighbours
        {{"spin |\b/\b-\b\\"}, {"spin \\"}}, // a spinner turns in place
        {{"abc\b\bX"}, {"aXc"}},             // overwrites from where it moved back to
        {{"ab\b\b\b\bcd"}, {"cd"}},          // never back past the line's start
        {{"\bx\r\n\by"}, {"x", "y"}},
        {{"12\b", "3\r\n4"}, {"13", "4"}},
        {{"\x81\x8d\x90"}, {"\x81\x81\x90"}}, // both unassigned: 0x8D is kept free
        {{std::string_view("\0\x1b\t\x7f", 4)}, {std::string("\0\x1b\t\x7f", 4)}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Received(c.Chunks), c.Shown) << *c.Chunks.begin();
}

// Bytes taken apart are found wherever they fall in a long chunk, next to other control bytes
// or not: the chunk shows as the same bytes given one at a time.
TEST(TerminalText, AChunkShowsAsItsBytesOneByOne)
{
    for (const std::string_view special : {"\r", "\n", "\r\n", "\bX", "\x8D"}) {
        for (const char filler : {'x', '\t', '\x8C', '\x8E'}) {
            std::string chunk;
            for (std::size_t length = 1; length < 40; ++length) {
                chunk += std::string(length, filler);
                chunk += special;
            }
            TTerminalText oneByOne;
            for (const char byte : chunk)
                oneByOne.AppendReceived(std::string_view(&byte, 1));
            EXPECT_EQ(Received({chunk}), Lines(oneByOne)) << int{filler} << special.size();
        }
    }
}

TEST(TerminalText, ClearForgetsAChunkThatEndedInCr)
{
    TTerminalText text;
    text.AppendReceived("prompt\r");
    text.Clear();
    EXPECT_EQ(text.LineCount(), 0);
    text.AppendReceived("\nnext");
    EXPECT_EQ(Lines(text), (TLines{"", "next"}));
}

TEST(TerminalText, LinesTheTerminalAddsAndRemoves)
{
    TTerminalText text;
    text.AppendLine(""); // an empty text cannot hold one empty line
    EXPECT_EQ(text.LineCount(), 0);
    text.AppendText("Send file");
    text.AppendLine("");
    text.AppendLine("OK\r\x8D");
    EXPECT_EQ(Lines(text), (TLines{"Send file", "", "OK\r\x8D"}));
    text.DeleteLine(2);
    text.AppendLine("ABCD");
    EXPECT_EQ(Lines(text), (TLines{"Send file", "", "ABCD"}));
    text.DeleteLine(1);
    EXPECT_EQ(Lines(text), (TLines{"Send file", "ABCD"}));
    text.DeleteLine(0);
    text.DeleteLine(5);
    EXPECT_EQ(Lines(text), TLines{"ABCD"});
    text.DeleteLine(0);
    EXPECT_EQ(text.LineCount(), 0);
}

TEST(TerminalText, DeletingALineTakesOneLineEndWithIt)
{
    const struct
    {
        std::string_view Text;
        std::int64_t Index;
        TLines Left;
    } cases[] = {
        {"a\nb", 1, {"a"}}, // the last line takes the end before it
        {"a\nb\nc", 2, {"a", "b"}}, {"a\nb\nc", 1, {"a", "c"}}, // any other line the end after it
        {"a\nb", 0, {"b"}},         {"a", 0, {}},
    };
    for (const auto& c : cases) {
        TTerminalText text;
        text.AppendText(c.Text);
        text.DeleteLine(c.Index);
        EXPECT_EQ(Lines(text), c.Left) << c.Text << " without line " << c.Index;
    }
}

// Numbered lines of varying length across many index steps and store blocks.
std::string NumberedLines(int count)
{
    std::string all;
    for (int i = 0; i < count; ++i)
        all += "line " + std::to_string(i) + std::string(static_cast<std::size_t>(i % 97), '.') +
               "\r\n";
    return all;
}

std::string ExpectedLine(int i)
{
    return "line " + std::to_string(i) + std::string(static_cast<std::size_t>(i % 97), '.');
}

class TerminalTextOnDisk : public testing::Test
{
protected:
    void SetUp() override
    {
        fFolder = std::filesystem::path(testing::TempDir()) /
                  ("tarvel-spill-" + std::to_string(::getpid()));
        std::filesystem::remove_all(fFolder);
    }
    void TearDown() override { std::filesystem::remove_all(fFolder); }
    bool FolderEmpty() const { return std::filesystem::is_empty(fFolder); }
#ifdef _WIN32
    // One file at least, and none that another reader opens.
    bool OnlyUnopenableFiles() const
    {
        int files = 0;
        for (const auto& entry : std::filesystem::directory_iterator(fFolder)) {
            ++files;
            const HANDLE handle =
                ::CreateFileW(entry.path().c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (handle != INVALID_HANDLE_VALUE) {
                ::CloseHandle(handle);
                ADD_FAILURE() << entry.path() << " can be opened";
                return false;
            }
        }
        return files > 0;
    }
#endif

    std::filesystem::path fFolder;
};

TEST(TerminalText, TheFileIsInTheUsersCacheFolderOrElseTheTemporaryOne)
{
    namespace fs = std::filesystem;
    const struct
    {
        std::map<std::string, std::string> Environment;
        bool Windows;
        fs::path Folder;
    } cases[] = {
        {{{"HOME", "/home/ann"}}, false, "/home/ann/.cache/tarvel"},
        {{{"HOME", "/home/ann"}, {"XDG_CACHE_HOME", "/c"}}, false, "/c/tarvel"},
        {{{"HOME", "/home/ann"}, {"XDG_CACHE_HOME", "rel"}}, false, "/home/ann/.cache/tarvel"},
        {{{"HOME", ""}}, false, fs::temp_directory_path() / "tarvel"},
        {{{"LOCALAPPDATA", "C:\\Users\\ann\\AppData\\Local"}, {"XDG_CACHE_HOME", "/c"}},
         true,
         fs::path("C:\\Users\\ann\\AppData\\Local") / "Tarvel" / "cache"},
        {{{"LOCALAPPDATA", ""}, {"HOME", "/home/ann"}}, true, fs::temp_directory_path() / "Tarvel"},
    };
    for (const auto& c : cases) {
        const auto environment = [&](const char* name) -> std::optional<std::string> {
            const auto found = c.Environment.find(name);
            if (found == c.Environment.end()) return std::nullopt;
            return found->second;
        };
        EXPECT_EQ(TSpillFile::DefaultFolder(environment, c.Windows), c.Folder) << c.Folder;
    }
}

TEST_F(TerminalTextOnDisk, OlderTextMovesToANamelessFileAndReadsBack)
{
    constexpr int Count = 60'000; // about 6 MB
    const std::string sent = NumberedLines(Count);
    {
        TTerminalText text(TByteStore::BlockSize, [&] { return TSpillFile(fFolder); });
        for (std::size_t at = 0; at < sent.size(); at += 4093)
            text.AppendReceived(std::string_view(sent).substr(at, 4093));
        EXPECT_LE(text.Bytes().BytesInMemory(), 2 * TByteStore::BlockSize);
        EXPECT_GE(text.Bytes().BytesInFile(), 2 * TByteStore::BlockSize);
#ifdef _WIN32
        // Windows keeps the name until the file is closed, but nothing else may open it.
        EXPECT_TRUE(OnlyUnopenableFiles());
#else
        EXPECT_TRUE(FolderEmpty()) << "the file must have no name";
#endif

        ASSERT_EQ(text.LineCount(), Count + 1);
        for (int i : {0, 1, 96, 9'999, 31'337, Count - 1})
            EXPECT_EQ(text.Line(i), ExpectedLine(i)) << i;
        const std::uint64_t start = text.LineStart(31'337);
        EXPECT_EQ(text.LineAt(start), 31'337);
        EXPECT_EQ(text.LineAt(start - 1), 31'336);

        // Cutting back into what is on disk, then going on.
        text.DeleteLine(Count);
        text.DeleteLine(Count - 1);
        for (int i = 0; i < 20'000; ++i)
            text.DeleteLine(text.LineCount() - 1);
        text.AppendReceived("\r\nafter\b\bER");
        EXPECT_EQ(text.Line(text.LineCount() - 1), "aftER");
        EXPECT_EQ(text.Line(text.LineCount() - 2), ExpectedLine(Count - 20'002));

        text.Clear();
        EXPECT_EQ(text.Bytes().BytesInFile(), 0u);
        text.AppendReceived(sent);
        EXPECT_EQ(text.Line(Count - 1), ExpectedLine(Count - 1));
    }
    EXPECT_TRUE(FolderEmpty());
}

TEST_F(TerminalTextOnDisk, ACutIntoTheFileBringsBackOnlyTheBlockItCuts)
{
    constexpr std::uint64_t Block = TByteStore::BlockSize;
    std::string sent;
    for (std::uint64_t i = 0; i < 4 * Block + 100; ++i)
        sent += static_cast<char>('a' + i % 23);
    const struct
    {
        std::uint64_t Cut;
        std::uint64_t LeftInFile;
    } cases[] = {
        {2 * Block, 2 * Block}, // on a block's edge nothing comes back
        {2 * Block + 1, 2 * Block},  {2 * Block + Block / 2, 2 * Block}, {Block - 1, 0},
        {4 * Block + 50, 4 * Block}, // in the block in memory
    };
    for (const auto& c : cases) {
        TByteStore store(0, [&] { return TSpillFile(fFolder); });
        store.Append(sent);
        ASSERT_EQ(store.BytesInFile(), 4 * Block);
        store.Truncate(c.Cut);
        EXPECT_EQ(store.BytesInFile(), c.LeftInFile) << c.Cut;
        store.Append("tail");
        EXPECT_TRUE(store.Read(0, store.Size()) == sent.substr(0, c.Cut) + "tail") << c.Cut;
    }
}

TEST_F(TerminalTextOnDisk, ABlockBroughtBackAndMovedOutAgainReadsWithItsNewBytes)
{
    constexpr std::uint64_t Block = TByteStore::BlockSize;
    TByteStore store(0, [&] { return TSpillFile(fFolder); });
    store.Append(std::string(3 * Block + 10, 'a'));
    ASSERT_EQ(store.BytesInFile(), 3 * Block);
    EXPECT_EQ(store.Read(2 * Block, 1), "a"); // read back from the file
    store.Overwrite(2 * Block, 'Z');          // into memory, and changed there
    store.Append(std::string(Block, 'b'));    // out to the file again
    ASSERT_EQ(store.BytesInFile(), 4 * Block);
    EXPECT_EQ(store.Read(2 * Block, 2), "Za");
}

#ifndef _WIN32
// Descriptors, O_TMPFILE, resource limits and modes: what Linux gives the file.
TEST_F(TerminalTextOnDisk, TheFileTakesOneDescriptorWhateverErrnoHeldBefore)
{
    const auto descriptors = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                             std::filesystem::directory_iterator{});
    };
    std::filesystem::create_directories(fFolder);
    const auto before = descriptors();
    for (int leftover : {0, EOPNOTSUPP, EISDIR, EINVAL}) {
        {
            errno = leftover;
            TSpillFile file(fFolder);
            EXPECT_EQ(descriptors(), before + 1) << leftover;
        }
        EXPECT_EQ(descriptors(), before) << leftover;
        EXPECT_TRUE(FolderEmpty()) << leftover;
    }
}

TEST_F(TerminalTextOnDisk, WithoutNamelessFilesTheNameGoesAtOnce)
{
    std::filesystem::create_directories(fFolder);
    // What file systems without O_TMPFILE answer.
    for (int refusal : {EOPNOTSUPP, EISDIR, EINVAL}) {
        const TRefusedTmpFile noTmpFile(refusal);
        TSpillFile file(fFolder);
        EXPECT_TRUE(FolderEmpty()) << refusal;
        file.Write(0, std::span<const char>("kept", 4));
        std::array<char, 4> back{};
        file.Read(0, back);
        EXPECT_EQ(std::string(back.data(), 4), "kept") << refusal;
    }
}

TEST_F(TerminalTextOnDisk, AFileThatCannotBeWrittenIsSaidOnceAndTheTextStays)
{
    // Files of this process may not grow past 256 KiB: moving a 1 MiB block out fails.
    struct TFileSizeLimit
    {
        TFileSizeLimit()
        {
            ::getrlimit(RLIMIT_FSIZE, &Before);
            Signal = std::signal(SIGXFSZ, SIG_IGN);
            rlimit small = Before;
            small.rlim_cur = 256 * 1024;
            ::setrlimit(RLIMIT_FSIZE, &small);
        }
        ~TFileSizeLimit()
        {
            ::setrlimit(RLIMIT_FSIZE, &Before);
            std::signal(SIGXFSZ, Signal);
        }
        rlimit Before{};
        void (*Signal)(int) = nullptr;
    };
    const std::string sent = NumberedLines(30'000);
    std::optional<std::string> said;
    TTerminalText text(0, [&] { return TSpillFile(fFolder); });
    {
        const TFileSizeLimit limit;
        text.AppendReceived(sent);
        said = text.TakeSpillError();
    }
    ASSERT_TRUE(said.has_value());
    EXPECT_NE(said->find("Cannot write the terminal's file"), std::string::npos) << *said;
    EXPECT_EQ(text.Bytes().BytesInFile(), 0u);
    EXPECT_EQ(text.Line(29'999), ExpectedLine(29'999));
}

TEST_F(TerminalTextOnDisk, TheFolderIsMadeTheUsersAlone)
{
    std::filesystem::create_directories(fFolder);
    std::filesystem::permissions(fFolder, std::filesystem::perms(0755));
    TSpillFile file(fFolder);
    EXPECT_EQ(std::filesystem::status(fFolder).permissions(), std::filesystem::perms::owner_all);
}

TEST_F(TerminalTextOnDisk, AFileThatCannotBeOpenedIsSaidWithItsFolder)
{
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "the sanitizers' runtime needs descriptors of its own to report anything";
#endif
    std::filesystem::create_directories(fFolder);
    // No descriptor left: the file cannot be opened, whoever runs the test.
    rlimit before{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &before), 0);
    const int probe = ::dup(0);
    ASSERT_GE(probe, 0);
    ::close(probe);
    rlimit none = before;
    none.rlim_cur = static_cast<rlim_t>(probe);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &none), 0);
    std::optional<std::system_error> caught;
    try {
        TSpillFile file(fFolder);
    } catch (const std::system_error& error) {
        caught = error;
    }
    ::setrlimit(RLIMIT_NOFILE, &before);
    ASSERT_TRUE(caught.has_value());
    EXPECT_EQ(caught->code(), std::errc::too_many_files_open);
    EXPECT_NE(std::string(caught->what()).find(fFolder.string()), std::string::npos)
        << caught->what();
}
#endif

TEST_F(TerminalTextOnDisk, ReadingPastWhatWasWrittenIsAnInputOutputError)
{
    TSpillFile file(fFolder);
    file.Write(0, std::span<const char>("written", 7));
    std::array<char, 8> back{};
    try {
        errno = EINTR; // left from an earlier call: not this read's
        file.Read(0, back);
        ADD_FAILURE() << "read 8 bytes of 7";
    } catch (const std::system_error& error) {
        EXPECT_EQ(error.code(), std::errc::io_error) << error.what();
    }
}

TEST_F(TerminalTextOnDisk, AFileThatCannotBeMadeIsSaidOnceAndTheTextStays)
{
    std::ofstream(fFolder.string()) << "a file where the folder should be";
    TTerminalText text(0, [&] { return TSpillFile(fFolder); });
    const std::string sent = NumberedLines(30'000);
    text.AppendReceived(sent);
    const std::optional<std::string> said = text.TakeSpillError();
    ASSERT_TRUE(said.has_value());
    EXPECT_NE(said->find(fFolder.string()), std::string::npos) << *said;
    text.AppendReceived(sent);
    EXPECT_FALSE(text.TakeSpillError().has_value());
    EXPECT_EQ(text.Bytes().BytesInFile(), 0u);
    EXPECT_EQ(text.Line(59'999), ExpectedLine(29'999));
}

} // namespace
