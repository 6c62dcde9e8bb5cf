#include "firmware/TFirmwareFile.h"
#include "i18n/TLocalizationModule.h"
#include "i18n/EInOutError.h"
#include "session/FlashProgress.h"
#include "firmware/Sha256.h"
#include "tests/app/FlashTempDir.h"
#include "tests/i18n/CatalogueFixtures.h"
#include "tests/i18n/EnvironmentGuard.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace std::string_literals;

namespace {

std::vector<std::string> ReadAllLines(TFirmwareFile& file)
{
    std::vector<std::string> lines;
    while (!file.Eof())
        lines.push_back(file.ReadLine());
    return lines;
}

std::vector<std::string> ReadAllLines(const std::string& path)
{
    TFirmwareFile file(path);
    return ReadAllLines(file);
}

// Independent statement of the line rules, applied to the whole text at once.
std::vector<std::string> ExpectedLines(const std::string& bytes)
{
    std::string text = bytes.substr(0, bytes.find('\x1a'));
    std::vector<std::string> lines;
    std::string current;
    bool any = false;
    for (char c : text) {
        any = true;
        if (c == '\n') {
            lines.push_back(current);
            current.clear();
            any = false;
        } else if (c != '\r') {
            current.push_back(c);
        }
    }
    if (any) lines.push_back(current);
    return lines;
}

class FlashFirmwareFile : public ::testing::Test
{
protected:
    FlashTempDir fDir;
};

TEST_F(FlashFirmwareFile, LineEndsAreLfOrCrLfAndEmptyLinesCount)
{
    const std::vector<std::string> expected{"A", "", "B"};
    EXPECT_EQ(ReadAllLines(fDir.Write("lf", "A\n\nB\n")), expected);
    EXPECT_EQ(ReadAllLines(fDir.Write("crlf", "A\r\n\r\nB\r\n")), expected);
    EXPECT_EQ(ReadAllLines(fDir.Write("noend", "A\n\nB")), expected);
    EXPECT_EQ(ReadAllLines(fDir.Write("mixed", "A\r\n\nB\n")), expected);
    EXPECT_EQ(ReadAllLines(fDir.Write("blank", "\n")), std::vector<std::string>{""});
    EXPECT_EQ(ReadAllLines(fDir.Write("blanks", "\n\n")), (std::vector<std::string>{"", ""}));
}

TEST_F(FlashFirmwareFile, LoneCrIsDroppedWithoutEndingTheLine)
{
    EXPECT_EQ(ReadAllLines(fDir.Write("a", "AB\rCD\nE\r")),
              (std::vector<std::string>{"ABCD", "E"}));
    EXPECT_EQ(ReadAllLines(fDir.Write("b", "\r\r\n\r")), (std::vector<std::string>{"", ""}));
}

TEST_F(FlashFirmwareFile, CtrlZEndsTheFileEvenInsideALine)
{
    EXPECT_EQ(ReadAllLines(fDir.Write("a", "A\nB\x1a"
                                           "C\nD\n")),
              (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(ReadAllLines(fDir.Write("b", "A\n\x1a\nD\n")), std::vector<std::string>{"A"});
    EXPECT_TRUE(ReadAllLines(fDir.Write("c", "\x1a"
                                             "ABC\n"))
                    .empty());

    // Ctrl-Z as the first byte of the second buffer.
    const std::string first(127, 'x');
    EXPECT_EQ(ReadAllLines(fDir.Write("d", first + "\n\x1a"
                                                   "tail\n")),
              std::vector<std::string>{first});

    TFirmwareFile file(fDir.Write("e", "A\x1a"));
    EXPECT_EQ(file.ReadLine(), "A");
    EXPECT_TRUE(file.Eof());
    EXPECT_EQ(file.ReadLine(), "");
    EXPECT_TRUE(file.Eof());
}

TEST_F(FlashFirmwareFile, EmptyFileIsAtItsEndAtOnce)
{
    TFirmwareFile file(fDir.Write("empty", ""));
    EXPECT_TRUE(file.Eof());
    EXPECT_EQ(file.TotalBlocks(), 0u);
    EXPECT_EQ(file.BlocksRead(), 0u);
    EXPECT_TRUE(file.AllFetched());
    EXPECT_EQ(FlashProgressPercent(file.BlocksRead(), file.TotalBlocks(), file.AllFetched()), 100);
}

TEST_F(FlashFirmwareFile, LinesAcrossBufferBoundariesMatchTheLineRules)
{
    // Random texts rich in CR, LF and long runs, so that every kind of byte falls on
    // every position of the 128-byte buffer; a few contain a Ctrl-Z.
    std::mt19937 rng(12345);
    for (int round = 0; round < 300; ++round) {
        std::string bytes;
        const int length = std::uniform_int_distribution<int>(0, 1200)(rng);
        for (int i = 0; i < length; ++i) {
            const int pick = std::uniform_int_distribution<int>(0, 99)(rng);
            if (pick < 6)
                bytes.push_back('\n');
            else if (pick < 10)
                bytes.push_back('\r');
            else if (pick == 10 && round % 4 == 0)
                bytes.push_back('\x1a');
            else if (pick < 14)
                bytes.push_back(static_cast<char>(std::uniform_int_distribution<int>(0, 255)(rng)));
            else
                bytes.push_back(static_cast<char>('a' + pick % 26));
        }
        const auto path = fDir.Write("r" + std::to_string(round), bytes);
        ASSERT_EQ(ReadAllLines(path), ExpectedLines(bytes)) << "round " << round;
    }
}

TEST_F(FlashFirmwareFile, ALeftoverInterruptionDoesNotChangeWhatIsRead)
{
    // errno still saying EINTR from some earlier call: a read that succeeded is taken as it is.
    TFirmwareFile file(fDir.Write("f.s19", "S1 first\nS1 second\n"));
    std::vector<std::string> lines;
    for (;;) {
        errno = EINTR;
        if (file.Eof()) break;
        errno = EINTR;
        lines.push_back(file.ReadLine());
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"S1 first", "S1 second"}));
}

TEST_F(FlashFirmwareFile, LongLinesAreReadWhole)
{
    for (std::size_t size : {127u, 128u, 129u, 255u, 256u, 257u, 5000u}) {
        std::string line;
        for (std::size_t i = 0; i < size; ++i)
            line.push_back(static_cast<char>('0' + i % 10));
        const auto path = fDir.Write("l" + std::to_string(size), line + "\r\nnext\r\n");
        EXPECT_EQ(ReadAllLines(path), (std::vector<std::string>{line, "next"})) << size;
    }
}

TEST_F(FlashFirmwareFile, BinaryGarbageIsReadAsLinesWithoutLoss)
{
    std::string bytes;
    std::mt19937 rng(7);
    for (int i = 0; i < 64 * 1024; ++i) {
        char c = static_cast<char>(rng());
        if (c == '\x1a') c = 0; // keep the whole sample in play
        bytes.push_back(c);
    }
    const auto lines = ReadAllLines(fDir.Write("garbage", bytes));
    EXPECT_EQ(lines, ExpectedLines(bytes));
    std::size_t kept = 0;
    for (const auto& l : lines)
        kept += l.size();
    std::size_t expectedKept = 0;
    for (char c : bytes)
        expectedKept += (c != '\r' && c != '\n');
    EXPECT_EQ(kept, expectedKept);
}

TEST_F(FlashFirmwareFile, HundredMegabyteSingleLineUsesMemoryOfThatLineOnly)
{
    // A sparse file: one line of NUL bytes, then a short one.
    constexpr off_t size = 100 * 1000 * 1000;
    const auto path = fDir.Path("huge");
    {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, size), 0);
        ASSERT_EQ(::pwrite(fd, "\nZ", 2, size), 2);
        ::close(fd);
    }
    TFirmwareFile file(path);
    EXPECT_EQ(file.TotalBlocks(), static_cast<std::uint64_t>(size + 2) / 128);
    ASSERT_FALSE(file.Eof());
    const std::string line = file.ReadLine();
    EXPECT_EQ(line.size(), static_cast<std::size_t>(size));
    EXPECT_LE(line.capacity(), 2 * line.size());
    EXPECT_EQ(line.find_first_not_of('\0'), std::string::npos);
    ASSERT_FALSE(file.Eof());
    EXPECT_EQ(file.ReadLine(), "Z");
    EXPECT_TRUE(file.Eof());
}

TEST_F(FlashFirmwareFile, BlocksCountBufferRefillsOfTheThousandByteFile)
{
    // 100 lines of 10 bytes: TotalBlocks 7; the gauge follows the refills.
    std::string bytes;
    for (int i = 0; i < 100; ++i)
        bytes += "123456789\n";
    TFirmwareFile file(fDir.Write("k", bytes));
    ASSERT_EQ(file.TotalBlocks(), 7u);
    std::vector<int> gauge;
    while (!file.Eof()) {
        file.ReadLine();
        gauge.push_back(
            FlashProgressPercent(file.BlocksRead(), file.TotalBlocks(), file.AllFetched()));
    }
    ASSERT_EQ(gauge.size(), 100u);
    EXPECT_EQ(gauge[0], 14);   // one buffer of 128 bytes fetched
    EXPECT_EQ(gauge[11], 14);  // line 12 ends at byte 120
    EXPECT_EQ(gauge[12], 28);  // line 13 reaches past byte 128: second refill
    EXPECT_EQ(gauge[75], 85);  // 768 bytes fetched
    EXPECT_EQ(gauge[76], 100); // 896 bytes fetched from line 77 on
    for (std::size_t i = 1; i < gauge.size(); ++i)
        EXPECT_LE(gauge[i - 1], gauge[i]);
    EXPECT_EQ(gauge.back(), 100);
    EXPECT_EQ(file.Fetched(), 1000u);
}

TEST_F(FlashFirmwareFile, ShortFileHasNoBlocksAndShowsFullOnceFetched)
{
    TFirmwareFile file(fDir.Write("short", "S0\nS9\n"));
    EXPECT_EQ(file.TotalBlocks(), 0u);
    EXPECT_FALSE(file.AllFetched());
    EXPECT_EQ(FlashProgressPercent(file.BlocksRead(), file.TotalBlocks(), file.AllFetched()), 0);
    EXPECT_EQ(file.ReadLine(), "S0");
    EXPECT_TRUE(file.AllFetched());
    EXPECT_EQ(FlashProgressPercent(file.BlocksRead(), file.TotalBlocks(), file.AllFetched()), 100);
}

TEST_F(FlashFirmwareFile, OpenFailuresCarryTheRuntimeTexts)
{
    const auto expectFailure = [](const std::string& path, const std::string& text, int code) {
        try {
            TFirmwareFile file(path);
            ADD_FAILURE() << path << " opened";
        } catch (const EInOutError& e) {
            EXPECT_EQ(std::string(e.what()), text) << path;
            EXPECT_EQ(e.ErrorCode, code) << path;
        }
    };
    expectFailure(fDir.Path("missing.s19"), "File not found", ENOENT);
    expectFailure(fDir.Path(""), "File access denied", EISDIR); // the folder itself
    const auto plain = fDir.Write("plain", "x\n");
    expectFailure(plain + "/inside", "Invalid file name", ENOTDIR);

    // A FIFO would block or never end: refused at once rather than hanging.
    const auto fifo = fDir.Path("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    expectFailure(fifo, "File access denied", EACCES);
}

TEST_F(FlashFirmwareFile, OtherErrorsNameTheirNumber)
{
    EXPECT_EQ(InOutErrorText(EIO), "I/O error " + std::to_string(EIO));
    EXPECT_EQ(InOutErrorText(EMFILE), "Too many open files");
    EXPECT_EQ(InOutErrorText(EACCES), "File access denied");
}

TEST_F(FlashFirmwareFile, FileDeletedWhileReadIsStillReadWhole)
{
    std::string bytes;
    for (int i = 0; i < 50; ++i)
        bytes += "S1130000" + std::to_string(i) + "\r\n";
    const auto path = fDir.Write("gone", bytes);
    TFirmwareFile file(path);
    ASSERT_EQ(file.ReadLine(), "S11300000");
    ASSERT_EQ(::unlink(path.c_str()), 0);
    auto rest = ReadAllLines(file);
    rest.insert(rest.begin(), "S11300000");
    EXPECT_EQ(rest, ExpectedLines(bytes));
}

TEST_F(FlashFirmwareFile, FileTruncatedWhileReadEndsWhereTheDataEnds)
{
    std::string bytes;
    for (int i = 0; i < 100; ++i)
        bytes += "LINE" + std::to_string(1000 + i) + "\n"; // 9 bytes a line
    const auto path = fDir.Write("cut", bytes);
    TFirmwareFile file(path);
    EXPECT_EQ(file.ReadLine(), "LINE1000"); // the first buffer holds bytes 0..127
    ASSERT_EQ(::truncate(path.c_str(), 200), 0);
    const auto rest = ReadAllLines(file);
    // The buffer already fetched is used up, then the file ends at byte 200.
    std::vector<std::string> expected = ExpectedLines(bytes.substr(0, 200));
    expected.erase(expected.begin());
    EXPECT_EQ(rest, expected);
    EXPECT_EQ(file.Fetched(), 200u);
    EXPECT_TRUE(file.AllFetched());
}

} // namespace

namespace {

TEST(FlashErrorText, FileErrorsAreToldInTheCatalogueInForce)
{
    i18n_test::TTempDir dir;
    const auto target = dir.Path() / "locale" / "fr" / "LC_MESSAGES";
    std::filesystem::create_directories(target);
    std::filesystem::copy_file(std::string(TARVEL_SHIPPED_LOCALE) + "/fr/LC_MESSAGES/default.mo",
                               target / "default.mo");
    i18n_test::TEnvironmentGuard environment;
    environment.Set("LANG", "fr_FR.UTF-8");
    std::string notFound, io, thrown;
    {
        TLocalizationOptions options;
        options.ExecutablePath = dir / "tarvel";
        TLocalizationModule module(std::move(options));
        notFound = InOutErrorText(ENOENT);
        io = InOutErrorText(EIO);
        try {
            TFirmwareFile file("/nonexistent-folder-for-tarvel/file.s19");
        } catch (const EInOutError& e) {
            thrown = e.what();
        }
    }
    EXPECT_EQ(notFound, "Fichier introuvable");
    EXPECT_EQ(io, "Erreur d'E/S " + std::to_string(EIO));
    EXPECT_EQ(thrown, "Fichier introuvable");
    EXPECT_EQ(InOutErrorText(ENOENT), "File not found"); // the module is gone again
}

} // namespace

namespace {

TEST(Sha256, KnownDigests)
{
    const std::pair<std::string, std::string> cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
    };
    for (const auto& [text, digest] : cases)
        EXPECT_EQ(Sha256Hex(text), digest) << text;
    // Two padding blocks, against the system's own tool.
    const auto [status, out] = i18n_test::RunCommand("printf 'a%.0s' $(seq 1000) | sha256sum");
    ASSERT_EQ(status, 0);
    ASSERT_GE(out.size(), 64u);
    EXPECT_EQ(Sha256Hex(std::string(1000, 'a')), out.substr(0, 64));
}

} // namespace
