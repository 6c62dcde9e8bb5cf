#include "tests/app/FlashTempDir.h"
#include "window/TSessionLog.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <system_error>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string Contents(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(SessionLog, FileNamesAreSafeDatedAndNumberedWhenTaken)
{
    std::tm local{};
    local.tm_year = 2026 - 1900;
    local.tm_mon = 2; // March
    local.tm_mday = 7;
    local.tm_hour = 9;
    local.tm_min = 5;
    local.tm_sec = 3;
    const struct
    {
        const char* Port;
        int Attempt;
        const char* Name;
    } cases[] = {
        {"/dev/ttyUSB0", 1, "ttyUSB0-20260307-090503.log"},
        {"rfc2217://host:2001", 1, "rfc2217_host_2001-20260307-090503.log"},
        {"tcp://10.0.0.7:4001", 2, "tcp_10.0.0.7_4001-20260307-090503-2.log"},
        {"/dev/serial/by-id/usb-FTDI_A5XK-if00", 3, "usb-FTDI_A5XK-if00-20260307-090503-3.log"},
        {"COM3", 1, "COM3-20260307-090503.log"},
        {"\\\\.\\COM12", 1, "COM12-20260307-090503.log"},
        {"/dev/tty board\xE9*?", 1, "tty_board___-20260307-090503.log"},
        {"/dev/..", 1, "port..-20260307-090503.log"},
    };
    for (const auto& c : cases) {
        const std::string name = TSessionLog::FileName(c.Port, local, c.Attempt);
        EXPECT_EQ(name, c.Name) << c.Port;
        EXPECT_TRUE(TSessionLog::IsLogName(name)) << name;
    }
}

TEST(SessionLog, TheDefaultFolderFollowsThePlatformAndXdgStateHome)
{
    const struct
    {
        std::map<std::string, std::string> Environment;
        bool Windows;
        fs::path Folder;
    } cases[] = {
        {{{"HOME", "/home/ann"}}, false, "/home/ann/.local/state/tarvel/logs"},
        {{{"HOME", "/home/ann"}, {"XDG_STATE_HOME", "/var/st"}}, false, "/var/st/tarvel/logs"},
        {{{"HOME", "/home/ann"}, {"XDG_STATE_HOME", "rel"}},
         false,
         "/home/ann/.local/state/tarvel/logs"},
        {{{"LOCALAPPDATA", "C:\\Users\\ann\\AppData\\Local"}, {"XDG_STATE_HOME", "/x"}},
         true,
         fs::path("C:\\Users\\ann\\AppData\\Local") / "Tarvel" / "logs"},
    };
    for (const auto& c : cases) {
        const auto environment = [&](const char* name) -> std::optional<std::string> {
            const auto found = c.Environment.find(name);
            if (found == c.Environment.end()) return std::nullopt;
            return found->second;
        };
        EXPECT_EQ(TSessionLog::DefaultFolder(environment, c.Windows), c.Folder);
    }
}

// Each connection's bytes, exactly as they came, in a file of its own; nothing while off.
TEST(SessionLog, EachConnectionKeepsItsBytesExactlyInItsOwnFile)
{
    FlashTempDir scratch;
    const fs::path folder = fs::path(scratch.Path("state")) / "tarvel" / "logs"; // made on use
    TSessionLog log;
    log.SetFolder(folder);
    EXPECT_EQ(log.Connected("/dev/ttyUSB0"), std::nullopt);
    EXPECT_EQ(log.Write("while off\r\n"), std::nullopt);
    EXPECT_TRUE(log.CurrentFile().empty());
    EXPECT_FALSE(fs::exists(folder));

    EXPECT_EQ(log.SetEnabled(true), std::nullopt); // the open port's log starts now
    using namespace std::string_literals;
    const std::string chunks[] = {"Boot\r"s, "\nMenu:\0 1\xFF\xFE"s, "\b\b> "s,
                                  std::string(70000, 'x')};
    std::string all;
    for (const std::string& chunk : chunks) {
        EXPECT_EQ(log.Write(chunk), std::nullopt);
        all += chunk;
    }
    const fs::path first = log.CurrentFile();
    log.Disconnected();
    EXPECT_EQ(log.Write("after the close"), std::nullopt);
    EXPECT_EQ(Contents(first), all);

    EXPECT_EQ(log.Connected("/dev/ttyUSB0"), std::nullopt);
    EXPECT_EQ(log.Write("second"), std::nullopt);
    const fs::path second = log.CurrentFile();
    log.Disconnected();
    EXPECT_NE(second, first);
    EXPECT_EQ(Contents(second), "second");
    EXPECT_EQ(Contents(first), all);
    EXPECT_EQ(second.parent_path(), folder);
    EXPECT_TRUE(TSessionLog::IsLogName(second.filename().string()));
}

// A name already there is never written over: the next number is tried.
TEST(SessionLog, ATakenNameIsLeftAloneAndTheNextNumberTaken)
{
    FlashTempDir scratch;
    std::vector<fs::path> tried;
    TSessionLog log([&](const fs::path& path) {
        tried.push_back(path);
        if (tried.size() < 3) throw std::system_error(EEXIST, std::generic_category(), "open");
        return TSessionLog::MakeFile(path);
    });
    log.SetFolder(scratch.Path("logs"));
    log.SetEnabled(true);
    EXPECT_EQ(log.Connected("/dev/ttyACM1"), std::nullopt);
    ASSERT_EQ(tried.size(), 3u);
    EXPECT_EQ(log.CurrentFile(), tried[2]);
    const std::string base = tried[0].stem().string();
    EXPECT_EQ(tried[1].filename().string(), base + "-2.log");
    EXPECT_EQ(tried[2].filename().string(), base + "-3.log");
}

// A full disk, or the folder removed while a log is written: said once, the rest of that
// connection goes unlogged without a word, and the next connection tries again.
TEST(SessionLog, AFailedWriteIsSaidOnce)
{
    class TFullDisk final : public ISessionLogFile
    {
    public:
        void Write(std::string_view) override
        {
            throw std::system_error(ENOSPC, std::generic_category(), "write");
        }
    };
    FlashTempDir scratch;
    const fs::path folder = scratch.Path("logs");
    bool full = true;
    TSessionLog log([&](const fs::path& path) -> std::unique_ptr<ISessionLogFile> {
        if (full) return std::make_unique<TFullDisk>();
        return TSessionLog::MakeFile(path);
    });
    log.SetFolder(folder);
    log.SetEnabled(true);
    log.Connected("/dev/ttyUSB0");
    const auto said = log.Write("a");
    ASSERT_TRUE(said.has_value());
    EXPECT_NE(said->find(std::error_code(ENOSPC, std::generic_category()).message()),
              std::string::npos)
        << *said;
    EXPECT_EQ(log.Write("b"), std::nullopt);
    log.Disconnected();

    full = false;
    log.Connected("/dev/ttyUSB0");
    EXPECT_EQ(log.Write("kept"), std::nullopt);
    const fs::path file = log.CurrentFile();
    EXPECT_EQ(Contents(file), "kept");
    fs::remove_all(folder);
    const auto removed = log.Write("lost");
    ASSERT_TRUE(removed.has_value());
    EXPECT_NE(removed->find(file.string()), std::string::npos) << *removed;
    EXPECT_EQ(log.Write("lost too"), std::nullopt);
    EXPECT_TRUE(log.CurrentFile().empty());
}

TEST(SessionLog, PruningRemovesOnlyLogsOlderThanTheDaysKept)
{
    FlashTempDir scratch;
    const fs::path folder = scratch.Path("logs");
    fs::create_directories(folder);
    const auto now = fs::file_time_type::clock::now();
    const auto daysAgo = [&](int days) { return now - std::chrono::hours(24 * days); };
    const struct
    {
        const char* Name;
        fs::file_time_type Written;
        bool Kept;
    } cases[] = {
        {"ttyUSB0-20250101-120000.log", daysAgo(31), false},
        {"rfc2217_host_2001-20250101-120000-2.log", daysAgo(400), false},
        {"ttyUSB0-20260101-120000.log", daysAgo(29), true},
        {"notes.log", daysAgo(400), true},
        {"ttyUSB0-2025-01-01.log", daysAgo(400), true},
        {"ttyUSB0-20250101-120000.log.txt", daysAgo(400), true},
        {"firmware.s19", daysAgo(400), true},
    };
    for (const auto& c : cases) {
        std::ofstream(folder / c.Name) << "x";
        fs::last_write_time(folder / c.Name, c.Written);
    }
    fs::create_directory(folder / "ttyS0-20240101-000000.log"); // a folder is no log
    fs::last_write_time(folder / "ttyS0-20240101-000000.log", daysAgo(400));

    EXPECT_EQ(TSessionLog::Prune(folder, 30, now), 2u);
    for (const auto& c : cases)
        EXPECT_EQ(fs::exists(folder / c.Name), c.Kept) << c.Name;
    EXPECT_TRUE(fs::exists(folder / "ttyS0-20240101-000000.log"));
    EXPECT_EQ(TSessionLog::Prune(scratch.Path("missing"), 30, now), 0u);
}

} // namespace
