// tarvel-flash as a rig runs it: a process against simulated boot loaders, judged by its exit
// code, its output and what the devices loaded.
#include "firmware/ImageCheck.h"
#include "firmware/Sha256.h"
#include "flasher/FlashCommandLine.h"
#include "flasher/PortName.h"
#include "flasher/TBoardReport.h"
#include "sim/SRecordGenerator.h"
#include "sim/TSimulatedDevice.h"
#include "sim/ToolchainFileGenerator.h"
#include "system/TFileDescriptor.h"
#include "tests/app/FlashTempDir.h"
#include "tests/i18n/CatalogueFixtures.h"
#include "tests/support/TPseudoTerminal.h"
#include "tests/support/TSer2net.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <pty.h>
#include <regex>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr uint32_t BaseAddress = 0x00400000;

struct TRun
{
    int ExitCode = -1;
    std::string Output;
};

TRun RunFlash(const std::string& arguments)
{
    auto [exitCode, output] =
        i18n_test::RunCommand(std::string(TARVEL_FLASH) + " " + arguments + " 2>&1");
    return {exitCode, std::move(output)};
}

bool LoadedExactly(const TSimulatedDevice& device, const std::vector<uint8_t>& data)
{
    const TLoadedImage image = device.LoadedImage();
    if (image.size() != data.size()) return false;
    for (std::size_t i = 0; i < data.size(); ++i) {
        const auto it = image.find(BaseAddress + static_cast<uint32_t>(i));
        if (it == image.end() || it->second != data[i]) return false;
    }
    return true;
}

// Polls a condition that another process makes true (there is nothing to wait on); a hang guard.
bool WaitFor(const std::function<bool()>& done)
{
    for (int i = 0; i < 3000 && !done(); ++i)
        ::usleep(10 * 1000);
    return done();
}

class TarvelFlash : public ::testing::Test
{
protected:
    // tarvel-flash running in the background, its output going to a file.
    pid_t SpawnFlash(std::vector<std::string> arguments)
    {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, fOutput.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        arguments.insert(arguments.begin(), TARVEL_FLASH);
        std::vector<char*> argv;
        for (std::string& a : arguments)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        pid_t pid = -1;
        if (::posix_spawn(&pid, TARVEL_FLASH, &actions, nullptr, argv.data(), environ) != 0)
            pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        return pid;
    }
    // Ctrl-C, then what it printed and its exit code.
    TRun Interrupt(pid_t pid)
    {
        ::kill(pid, SIGINT);
        int status = 0;
        TRun run;
        if (::waitpid(pid, &status, 0) == pid && WIFEXITED(status))
            run.ExitCode = WEXITSTATUS(status);
        std::ifstream in(fOutput);
        run.Output.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        return run;
    }

    std::string Image(std::size_t bytes, uint32_t seed = 1)
    {
        fData = GenerateFirmwareBytes(bytes, seed);
        return fDir.Write("image.s19", GenerateSRecordFile(fData, BaseAddress));
    }
    FlashTempDir fDir;
    std::vector<uint8_t> fData;
    std::string fOutput = fDir.Path("output.txt");
};

TEST_F(TarvelFlash, CtrlCStopsTheTransferAtOnceAndSaysWhere)
{
    TSimulatedDevice device; // at the line's real pace: 64 KiB take about 14 s
    const std::string file = Image(64 * 1024);
    const pid_t pid = SpawnFlash({"--port", device.DevicePath(), file});
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(WaitFor([&] { return device.RecordsReceived() >= 100; }));
    const TRun run = Interrupt(pid);
    EXPECT_EQ(run.ExitCode, 130) << run.Output;
    EXPECT_NE(run.Output.find("interrupted at line"), std::string::npos) << run.Output;
    // The port is closed and the rest of the file never follows: once the line is quiet the
    // device has not been loaded.
    std::size_t records = 0;
    EXPECT_TRUE(WaitFor([&] {
        const std::size_t before = device.RecordsReceived();
        ::usleep(300 * 1000);
        return (records = device.RecordsReceived()) == before;
    }));
    EXPECT_LT(records, 64u * 1024 / 32); // 32 data bytes a record
    EXPECT_EQ(device.CompletedLoads(), 0u);
}

TEST_F(TarvelFlash, FlashesTheExactImageWithAShortPlainLog)
{
    TSimulatedDevice device; // at the line's real pace
    const std::string file = Image(16 * 1024);
    const TRun run = RunFlash("--port " + device.DevicePath() + " " + file);
    EXPECT_EQ(run.ExitCode, 0) << run.Output;
    EXPECT_TRUE(LoadedExactly(device, fData));
    EXPECT_EQ(device.CompletedLoads(), 1u);
    // Not a terminal: a few plain lines, no carriage return or escape sequence.
    EXPECT_LE(std::count(run.Output.begin(), run.Output.end(), '\n'), 15) << run.Output;
    EXPECT_EQ(run.Output.find_first_of("\r\b\x1b"), std::string::npos) << run.Output;
    EXPECT_NE(run.Output.find(device.DevicePath() + ": ok"), std::string::npos) << run.Output;
}

TEST_F(TarvelFlash, FaultsEndWithTheirExitCodeAndSayWhat)
{
    const std::string file = Image(64 * 1024);
    const struct
    {
        const char* Name;
        int ErreurAt, SilenceFrom, HangUpAt;
        int ExitCode;
        const char* Says;
    } cases[] = {{"refusal", 300, 0, 0, 1, "ERREUR record 300"},
                 {"silence", 0, 300, 0, 1, "no answer from the device for 3 s"},
                 {"hang-up", 0, 0, 300, 4, "went away"}};
    for (const auto& c : cases) {
        TSimulatedDeviceOptions options;
        options.Baudrate = 0;
        options.ErreurAtRecord = c.ErreurAt;
        options.SilenceFromRecord = c.SilenceFrom;
        options.HangUpAtRecord = c.HangUpAt;
        TSimulatedDevice device(options);
        const TRun run = RunFlash("--timeout 3 --port " + device.DevicePath() + " " + file);
        EXPECT_EQ(run.ExitCode, c.ExitCode) << c.Name << ": " << run.Output;
        EXPECT_NE(run.Output.find(c.Says), std::string::npos) << c.Name << ": " << run.Output;
        EXPECT_EQ(device.CompletedLoads(), 0u) << c.Name;
    }
}

// A watchdog reset part-way: the boot loader shows its menu again and takes the rest of the file
// as menu input. The board is not flashed, wherever in the file it restarts.
TEST_F(TarvelFlash, ADeviceThatRestartsIsNotFlashed)
{
    const std::string file = Image(4 * 1024); // 130 lines: S0, 128 records, S9
    for (const int record : {3, 80, 128, 129}) {
        TSimulatedDeviceOptions options;
        options.RestartAtRecord = record;
        TSimulatedDevice device(options);
        const TRun run = RunFlash("--port " + device.DevicePath() + " " + file);
        EXPECT_EQ(run.ExitCode, 1) << "restart at " << record << ": " << run.Output;
        EXPECT_NE(run.Output.find("the device restarted (its menu came back) after line"),
                  std::string::npos)
            << run.Output;
        EXPECT_EQ(device.CompletedLoads(), 0u);
    }
}

// What a rig's log reads: quiet leaves only the failures, the JSON lines say every board's end.
TEST_F(TarvelFlash, QuietAndJsonSayEachBoardsEnd)
{
    const std::string file = Image(4 * 1024);
    TSimulatedDeviceOptions good, refusing;
    good.Baudrate = refusing.Baudrate = 0;
    refusing.ErreurAtRecord = 50;
    TSimulatedDevice goodDevice(good), refusingDevice(refusing);
    const TRun run = RunFlash("--quiet --json --port " + goodDevice.DevicePath() + " --port " +
                              refusingDevice.DevicePath() + " " + file);
    EXPECT_EQ(run.ExitCode, 1) << run.Output;
    EXPECT_EQ(run.Output.find(goodDevice.DevicePath() + ": ok"), std::string::npos) << run.Output;
    EXPECT_NE(run.Output.find(refusingDevice.DevicePath() + ": FAILED (exit 1)"), std::string::npos)
        << run.Output;
    const std::string text = GenerateSRecordFile(fData, BaseAddress);
    const std::string okJson = "{\"port\":\"" + goodDevice.DevicePath() +
                               "\",\"serial\":\"\",\"file\":\"" + file + "\",\"sha256\":\"" +
                               Sha256Hex(text) + "\",\"image_sha256\":\"" +
                               Sha256Hex(std::string(fData.begin(), fData.end())) +
                               "\",\"result\":\"ok\",\"exit_code\":0,\"lines\":" +
                               std::to_string(FirmwareLines(text).size()) +
                               ",\"bytes\":" + std::to_string(BytesOfLines(text, 1000)) + ",";
    EXPECT_NE(run.Output.find(okJson), std::string::npos) << okJson << "\n" << run.Output;
    EXPECT_NE(run.Output.find("\"result\":\"failed\",\"exit_code\":1,"), std::string::npos)
        << run.Output;
}

// On a terminal each port has a live line of its own, and a log of its own.
TEST_F(TarvelFlash, EachPortHasItsOwnBarLineAndLog)
{
    const std::string file = Image(4 * 1024);
    for (const int ports : {1, 2}) {
        std::vector<std::unique_ptr<TSimulatedDevice>> devices;
        std::string arguments = "--progress bar --log " + fDir.Path("flash.log");
        for (int i = 0; i < ports; ++i) {
            TSimulatedDeviceOptions options;
            options.Baudrate = 0;
            devices.push_back(std::make_unique<TSimulatedDevice>(options));
            arguments += " --port " + devices.back()->DevicePath();
        }
        const TRun run = RunFlash(arguments + " " + file);
        const std::string& out = run.Output;
        EXPECT_EQ(run.ExitCode, 0) << out;
        const std::string first = devices[0]->DevicePath();
        if (ports == 1) {
            // One line rewritten in place, ended before the result.
            EXPECT_EQ(out.rfind("\r" + first + " ", 0), 0u) << out;
            EXPECT_EQ(out.find("\x1b[1A"), std::string::npos) << out;
            EXPECT_NE(out.find("\x1b[K\n" + first + ": ok"), std::string::npos) << out;
            EXPECT_GT(std::filesystem::file_size(fDir.Path("flash.log")), 0u);
        } else {
            // A block of one line a port, each reached by moving up to it.
            EXPECT_EQ(out.rfind("\n\n", 0), 0u) << out;
            EXPECT_NE(out.find("\x1b[2A\r" + first + " "), std::string::npos) << out;
            EXPECT_NE(out.find("\x1b[1A\r" + devices[1]->DevicePath() + " "), std::string::npos)
                << out;
            for (const char* log : {"flash.log.1", "flash.log.2"})
                EXPECT_GT(std::filesystem::file_size(fDir.Path(log)), 0u) << log;
        }
        // The rate is the transfer's own: a few KiB a second at least, unpaced.
        std::smatch rate;
        ASSERT_TRUE(std::regex_search(out, rate, std::regex("100 %  [0-9]+ lines  ([0-9]+) B/s")))
            << out;
        EXPECT_GT(std::stoul(rate[1]), 1000u) << out;
    }
}

// What a device said instead of its menu is quoted as it came, control bytes and all.
TEST_F(TarvelFlash, AnUnexpectedAnswerIsQuotedAsItCame)
{
    const std::string file = Image(1024);
    TPseudoTerminal line;
    const pid_t pid = SpawnFlash({"--timeout", "1", "--port", line.DevicePath(), file});
    ASSERT_GT(pid, 0);
    ASSERT_EQ(line.Receive(2), "\r\n"); // Init
    line.Send("hello\r\n\x01");
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    std::ifstream in(fOutput);
    const std::string out{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_EQ(WEXITSTATUS(status), 1) << out;
    EXPECT_NE(out.find("\"hello\\r\\n.\" (68 65 6C 6C 6F 0D 0A 01)"), std::string::npos) << out;
}

TEST_F(TarvelFlash, PortsThatCannotServeSayWhy)
{
    const std::string file = Image(1024);
    const TRun missing = RunFlash("--port /dev/tarvel-no-such-port " + file);
    EXPECT_EQ(missing.ExitCode, 3) << missing.Output;
    EXPECT_NE(missing.Output.find("Nothing is plugged in there"), std::string::npos);

    // A line where nothing answers: the far end of a pseudo-terminal that nobody serves.
    TPseudoTerminal line;
    const TRun mute = RunFlash("--timeout 3 --port " + line.DevicePath() + " " + file);
    EXPECT_EQ(mute.ExitCode, 1) << mute.Output;
    EXPECT_NE(mute.Output.find("no byte at all came back after Init"), std::string::npos)
        << mute.Output;

    TSimulatedDevice device;
    const TRun twice =
        RunFlash("--port " + device.DevicePath() + " --port " + device.DevicePath() + " " + file);
    EXPECT_EQ(twice.ExitCode, 2) << twice.Output;
}

TEST_F(TarvelFlash, FourPortsAtOnce)
{
    std::vector<std::unique_ptr<TSimulatedDevice>> devices;
    std::string ports;
    for (int i = 0; i < 4; ++i) {
        devices.push_back(std::make_unique<TSimulatedDevice>());
        ports += "--port " + devices.back()->DevicePath() + " ";
    }
    const std::string file = Image(8 * 1024, 9);
    const TRun run = RunFlash(ports + file);
    EXPECT_EQ(run.ExitCode, 0) << run.Output;
    for (const auto& device : devices)
        EXPECT_TRUE(LoadedExactly(*device, fData)) << device->DevicePath();
}

// A rig's gang: 32 boards at once at the line's pace; one refusing its file and one pulled away
// in the middle end alone, and every other board is loaded to its end.
TEST_F(TarvelFlash, AGangOf32WhereFailuresEndOnlyTheirOwnPort)
{
    const std::string file = Image(4 * 1024, 13);
    std::vector<std::unique_ptr<TSimulatedDevice>> devices;
    std::string ports;
    for (int i = 0; i < 32; ++i) {
        TSimulatedDeviceOptions options;
        options.ErreurAtRecord = i == 5 ? 20 : 0;
        options.HangUpAtRecord = i == 17 ? 30 : 0;
        devices.push_back(std::make_unique<TSimulatedDevice>(options));
        ports += "--port " + devices.back()->DevicePath() + " ";
    }
    const TRun run = RunFlash("--quiet " + ports + file);
    EXPECT_EQ(run.ExitCode, 1) << run.Output; // the first failing port's, in --port order
    EXPECT_NE(run.Output.find(devices[5]->DevicePath() + ": FAILED (exit 1)"), std::string::npos)
        << run.Output;
    EXPECT_NE(run.Output.find(devices[17]->DevicePath() + ": FAILED (exit 4)"), std::string::npos)
        << run.Output;
    for (std::size_t i = 0; i < devices.size(); ++i)
        EXPECT_EQ(LoadedExactly(*devices[i], fData), i != 5 && i != 17) << i;
}

// Boards on another machine: their ports served by ser2net, flashed as local ones; over
// RFC 2217 the line gets Tarvel's settings, not those of the server's configuration.
TEST_F(TarvelFlash, ThroughSer2netAsThroughALocalPort)
{
    if (!TSer2net::Available()) GTEST_SKIP() << "ser2net is not installed";
    const std::string file = Image(16 * 1024, 14);
    for (const bool telnet : {true, false}) {
        TSimulatedDevice device; // at the line's pace
        const TSer2net server(device.DevicePath());
        const pid_t pid =
            SpawnFlash({"--port", telnet ? server.Rfc2217Url() : server.TcpUrl(), file});
        ASSERT_GT(pid, 0);
        ASSERT_TRUE(WaitFor([&] { return device.RecordsReceived() >= 20; }));
        if (telnet) {
            const std::optional<termios> line = device.LineSettings();
            ASSERT_TRUE(line.has_value());
            EXPECT_EQ(::cfgetospeed(&*line), speed_t{B115200});
            EXPECT_EQ(line->c_cflag & (CSIZE | PARENB | CSTOPB), tcflag_t{CS8});
        }
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_EQ(WEXITSTATUS(status), 0) << telnet;
        EXPECT_TRUE(LoadedExactly(device, fData)) << telnet;
    }
}

// Through ser2net a refusal still lets no more than the transmit buffer follow (the line's own
// rate bounds what runs ahead, since the server's buffers cannot be seen), and a server that
// dies is a device gone.
TEST_F(TarvelFlash, ThroughSer2netARefusalOrADeadServerEndsTheTransfer)
{
    if (!TSer2net::Available()) GTEST_SKIP() << "ser2net is not installed";
    const std::string file = Image(96 * 1024, 15);
    {
        TSimulatedDeviceOptions options;
        options.ErreurAtRecord = 300;
        TSimulatedDevice device(options);
        const TSer2net server(device.DevicePath());
        const TRun run = RunFlash("--port " + server.Rfc2217Url() + " " + file);
        EXPECT_EQ(run.ExitCode, 1) << run.Output;
        EXPECT_NE(run.Output.find("the device refused the file"), std::string::npos) << run.Output;
        std::size_t after = 0;
        EXPECT_TRUE(WaitFor([&] {
            const std::size_t before = device.BytesAfterRefusal();
            ::usleep(300 * 1000);
            return (after = device.BytesAfterRefusal()) == before;
        }));
        EXPECT_LE(after, MaxLineBytes + TPseudoTerminal::CapacityBytes());
    }
    TSimulatedDevice device;
    TSer2net server(device.DevicePath());
    const pid_t pid = SpawnFlash({"--port", server.Rfc2217Url(), file});
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(WaitFor([&] { return device.RecordsReceived() >= 50; }));
    server.Kill();
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_EQ(WEXITSTATUS(status), 4);
    EXPECT_LT(device.RecordsReceived(),
              FirmwareLines(GenerateSRecordFile(fData, BaseAddress)).size());
}

TEST_F(TarvelFlash, ACorruptedRecordIsNamedAndNothingIsSent)
{
    std::string text = GenerateSRecordFile(GenerateFirmwareBytes(1024, 3), BaseAddress);
    // The third record's last checksum digit, changed.
    std::size_t at = 0;
    for (int line = 0; line < 3; ++line)
        at = text.find('\n', at) + 1;
    const std::size_t end = text.find('\r', at) - 1;
    text[end] = text[end] == '0' ? '1' : '0';
    const std::string file = fDir.Write("bad.s19", text);
    TSimulatedDevice device;
    const TRun run = RunFlash("--port " + device.DevicePath() + " " + file);
    EXPECT_EQ(run.ExitCode, 2) << run.Output;
    EXPECT_NE(run.Output.find("line 4: Checksum mismatch"), std::string::npos) << run.Output;
    EXPECT_EQ(device.State(), TDeviceState::Idle); // not even woken
}

// What toolchains make goes out as S-records and arrives as the image it carries.
TEST_F(TarvelFlash, HexElfAndBinaryFilesArriveAsTheirImage)
{
    fData = GenerateFirmwareBytes(3000, 12);
    const std::vector<uint8_t> head(fData.begin(), fData.begin() + 1000);
    const std::vector<uint8_t> tail(fData.begin() + 1000, fData.end());
    // The second segment runs from RAM: it is stored at its physical address.
    const std::string elf =
        GenerateElfFile({{BaseAddress, head, BaseAddress}, {BaseAddress + 1000, tail, 0x20000000}},
                        BaseAddress, false, true);
    const struct
    {
        std::string Name, Content, Options, Says;
    } cases[] = {
        {"app.hex", GenerateIntelHexFile({{BaseAddress, fData}}, BaseAddress), "--json",
         "app.hex is Intel HEX; sending it as 96 S-records (3000 bytes at 0x00400000-0x00400BB7)"},
        {"app.bin", std::string(fData.begin(), fData.end()),
         "--base-address 0x400000 --record-size 250",
         "app.bin is raw binary; sending it as 14 S-records"},
        {"app.elf", elf, "--record-size 1", "app.elf is ELF; sending it as 3002 S-records"},
    };
    for (const auto& c : cases) {
        TSimulatedDeviceOptions options;
        options.Baudrate = 0;
        TSimulatedDevice device(options);
        const std::string file = fDir.Write(c.Name, c.Content);
        const TRun run = RunFlash(c.Options + " --port " + device.DevicePath() + " " + file);
        EXPECT_EQ(run.ExitCode, 0) << c.Name << ": " << run.Output;
        EXPECT_NE(run.Output.find("tarvel-flash: " + fDir.Path(c.Says)), std::string::npos)
            << c.Name << ": " << run.Output;
        EXPECT_TRUE(LoadedExactly(device, fData)) << c.Name;
        EXPECT_EQ(device.CompletedLoads(), 1u) << c.Name;
        if (c.Options == "--json") {
            EXPECT_NE(run.Output.find(
                          "\"sha256\":\"" + Sha256Hex(c.Content) + "\",\"image_sha256\":\"" +
                          Sha256Hex({reinterpret_cast<const char*>(fData.data()), fData.size()}) +
                          "\",\"result\":\"ok\""),
                      std::string::npos)
                << run.Output;
        }
    }
}

// A converted file is checked whole before a port opens; nothing reaches the device.
TEST_F(TarvelFlash, ABadHexFileOrAMisplacedAddressIsRefusedBeforeAnythingIsSent)
{
    std::string hex = GenerateIntelHexFile({{BaseAddress, GenerateFirmwareBytes(100, 2)}}, 0);
    const std::string good = fDir.Write("good.hex", hex);
    // The third line's last checksum digit, changed.
    std::size_t at = 0;
    for (int line = 0; line < 2; ++line)
        at = hex.find('\n', at) + 1;
    const std::size_t end = hex.find('\r', at) - 1;
    hex[end] = hex[end] == '0' ? '1' : '0';
    const std::string bad = fDir.Write("bad.hex", hex);
    const struct
    {
        std::string Arguments, Says;
    } cases[] = {
        {bad, "bad.hex: line 3: checksum mismatch"},
        {"--base-address 0x100 " + good,
         "--base-address is for a raw binary file; " + good + " is Intel HEX"},
        {"--base-address 0x1_0 " + good, "--base-address' is a 32-bit address"},
        {"--record-size 251 " + good, "--record-size' is 1 to 250"},
    };
    for (const auto& c : cases) {
        TSimulatedDevice device;
        const TRun run = RunFlash("--port " + device.DevicePath() + " " + c.Arguments);
        EXPECT_EQ(run.ExitCode, 2) << run.Output;
        EXPECT_NE(run.Output.find(c.Says), std::string::npos) << c.Says << "\n" << run.Output;
        EXPECT_EQ(device.State(), TDeviceState::Idle); // not even woken
    }
}

// A rig's loop: two boards appear one after the other at the same name (a link made, removed,
// made again); each is flashed once, and Ctrl-C ends the loop with the totals.
TEST_F(TarvelFlash, WatchFlashesBoardAfterBoardUntilInterrupted)
{
    const std::string file = Image(4 * 1024, 5);
    const std::string board = fDir.Path("board");
    const pid_t pid = SpawnFlash({"--watch", "--json", "--port", board, file});
    ASSERT_GT(pid, 0);
    for (int i = 0; i < 2; ++i) {
        TSimulatedDeviceOptions options;
        options.Baudrate = 0;
        TSimulatedDevice device(options);
        std::filesystem::create_symlink(device.DevicePath(), board);
        EXPECT_TRUE(WaitFor([&] { return device.CompletedLoads() == 1; })) << "board " << i + 1;
        // Unplugged once the flasher has let go of it.
        EXPECT_TRUE(WaitFor([&] { return device.State() == TDeviceState::Menu; }));
        ::usleep(200 * 1000);
        std::filesystem::remove(board);
        EXPECT_TRUE(LoadedExactly(device, fData)) << "board " << i + 1;
    }
    ::usleep(200 * 1000);
    const TRun run = Interrupt(pid);
    const std::string& output = run.Output;
    EXPECT_EQ(run.ExitCode, 0) << output;
    EXPECT_NE(output.find("boards passed 2, failed 0"), std::string::npos) << output;
    // One line a board, its time to a tenth of a second.
    EXPECT_TRUE(
        std::regex_search(output, std::regex(" ok [0-9]+\\.[0-9] s  \\[passed 2, failed 0\\]")))
        << output;
    EXPECT_NE(
        output.find("\"sha256\":\"" + Sha256Hex(GenerateSRecordFile(fData, BaseAddress)) + "\""),
        std::string::npos)
        << output;
}

std::string SumOf(const std::vector<uint8_t>& data)
{
    uint32_t sum = 0;
    for (const uint8_t b : data)
        sum += b;
    char text[32];
    std::snprintf(text, sizeof text, "sum 0x%08X", sum);
    return text;
}

// After the flash a rig proves the board runs: what it sends and what it awaits, in order.
TEST_F(TarvelFlash, TheCheckAfterTheFlashProvesTheBoardRuns)
{
    const std::string file = Image(2 * 1024, 11);
    const struct
    {
        std::vector<std::string> Check;
        int ExitCode;
        std::vector<std::string> Said;
    } cases[] = {
        // The application's first line tells the sum of what it found loaded.
        {{"--send", "4", "--expect", "sum 0x[0-9A-F]{8}"}, 0, {"check: " + SumOf(fData)}},
        // A prompt without a line end is taken once the line is quiet; then a serial number.
        {{"--send", "4", "--expect", "number\\? $", "--send", "SN7\\r", "--expect", "SN7 stored"},
         0,
         {"check: number?  | SN7 stored"}},
        // Only the loader's version comes, never the application's prompt.
        {{"--timeout", "1", "--send", "3", "--expect", "Serial number"},
         5,
         {"FAILED (exit 5): flashed, but the check did not see /Serial number/ within 1 s",
          "43 68 6F 69 63 65 20 3E)"}},
    };
    for (const auto& c : cases) {
        TSimulatedDeviceOptions options;
        options.Baudrate = 0;
        TSimulatedDevice device(options);
        std::string arguments = "--port " + device.DevicePath();
        for (const std::string& a : c.Check)
            arguments += " " + i18n_test::ShellQuoted(a);
        const TRun run = RunFlash(arguments + " " + file);
        EXPECT_EQ(run.ExitCode, c.ExitCode) << run.Output;
        for (const std::string& said : c.Said)
            EXPECT_NE(run.Output.find(said), std::string::npos) << said << "\n" << run.Output;
        EXPECT_TRUE(LoadedExactly(device, fData));
    }
}

// Python's own readers judge the files, so that a row or a document that only this program
// could read back fails.
std::string RunPython(const FlashTempDir& dir, const std::string& script, const std::string& args)
{
    const std::string path = dir.Write("judge.py", script);
    return i18n_test::RunCommand("python3 " + path + " " + args + " 2>&1").second;
}

// A day at a rig: three boards one after the other, the second refusing its file; a CSV row and
// a JUnit test case for each.
TEST_F(TarvelFlash, TheReportKeepsEveryBoard)
{
    const std::string file = Image(2 * 1024, 12);
    const std::string board = fDir.Path("board"), csv = fDir.Path("day.csv");
    const pid_t pid = SpawnFlash(
        {"--watch", "--report", csv, "--junit", fDir.Path("day.xml"), "--port", board, file});
    ASSERT_GT(pid, 0);
    const auto rows = [&] {
        std::ifstream in(csv);
        return std::count(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>(),
                          '\n');
    };
    for (int i = 0; i < 3; ++i) {
        TSimulatedDeviceOptions options;
        options.Baudrate = 0;
        options.ErreurAtRecord = i == 1 ? 5 : 0;
        TSimulatedDevice device(options);
        std::filesystem::create_symlink(device.DevicePath(), board);
        EXPECT_TRUE(WaitFor([&] { return rows() == i + 2; })) << "board " << i + 1;
        std::filesystem::remove(board);
        ::usleep(100 * 1000);
    }
    const TRun run = Interrupt(pid);
    EXPECT_EQ(run.ExitCode, 1) << run.Output;
    const std::string judged = RunPython(fDir, R"(
import csv, sys, xml.etree.ElementTree as ET
with open(sys.argv[1], newline='', encoding='utf-8') as f:
    rows = list(csv.DictReader(f))
print(len(rows), [(r['result'], r['exit_code'], r['lines'] != '0') for r in rows])
print(set(r['sha256'] for r in rows), all(r['time_utc'].endswith('Z') and r['station'] for r in rows))
suite = ET.parse(sys.argv[2]).getroot().find('testsuite')
print(suite.get('tests'), suite.get('failures'), len(suite.findall('testcase')),
      [c.find('failure').get('type') for c in suite.findall('testcase') if c.find('failure') is not None])
)",
                                         csv + " " + fDir.Path("day.xml"));
    const std::string sha = Sha256Hex(GenerateSRecordFile(fData, BaseAddress));
    EXPECT_EQ(judged, "3 [('ok', '0', True), ('failed', '1', True), ('ok', '0', True)]\n{'" + sha +
                          "'} True\n3 1 3 ['exit 1']\n");
}

// Two stations appending to one report at the same moment: every row stays whole.
TEST_F(TarvelFlash, RowsOfTwoProcessesNeverMix)
{
    // A file is no serial port: each such port fails at once with a long row of its own.
    const std::string file = Image(1024);
    std::vector<pid_t> pids;
    for (const char station : {'a', 'b'}) {
        std::vector<std::string> arguments{"--report", fDir.Path("shared.csv")};
        for (int i = 0; i < 64; ++i) {
            arguments.push_back("--port");
            arguments.push_back(fDir.Write(std::string(120, station) + std::to_string(i), ""));
        }
        arguments.push_back(file);
        pids.push_back(SpawnFlash(arguments));
    }
    for (const pid_t pid : pids) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_EQ(WEXITSTATUS(status), 3);
    }
    const std::string judged = RunPython(fDir, R"(
import csv, sys
with open(sys.argv[1], newline='', encoding='utf-8') as f:
    rows = list(csv.reader(f))
whole = [r for r in rows[1:] if len(r) == 13 and r[12].startswith("Cannot open port '" + r[2] + "'")]
print(rows[0][0], len(rows) - 1, len(whole), len(set(r[2] for r in whole)))
)",
                                         fDir.Path("shared.csv"));
    EXPECT_EQ(judged, "time_utc 128 128 128\n");
}

TEST(FlashCommandLine, WhatARunNeedsAndWhatStandsInsteadOfOne)
{
    const struct
    {
        std::vector<std::string_view> Arguments;
        const char* Error; // empty: accepted
    } cases[] = {
        {{"--help"}, ""},
        {{"--version"}, ""},
        {{"--port", "p", "--type", "boot", "--timeout", "3", "f.s19"}, ""},
        {{"--port", "p", "--send", "a\\x01\\r\\\\\\n", "f.s19"}, ""},
        {{"f.s19"}, "no --port given"},
        {{"--port", "p"}, "no firmware file given"},
        {{"--port", "p", "f.s19", "g.s19"}, "'g.s19' is a second"},
        {{"--port", "p", "--timeout", "0", "f.s19"}, "'--timeout' takes a whole number from 1"},
        {{"--port", "p", "--timeout", "3s", "f.s19"}, "'--timeout' takes a whole number"},
        {{"--port", "p", "--type", "app", "f.s19"}, "'--type' is firmware or boot"},
        {{"--port", "p", "--progress", "fancy", "f.s19"}, "'--progress' is auto, bar"},
        {{"--bogus"}, "unknown option '--bogus'"},
        {{"f.s19", "--port"}, "option '--port' needs a value"},
        {{"--port=p", "f.s19"}, ""},
        {{"--port", "p", "--send", "a\\q", "f.s19"}, "unknown escape \\q"},
        {{"--port", "p", "--send", "\\x4", "f.s19"}, "without two hex digits"},
        {{"--port", "p", "--expect", "(v", "f.s19"}, "'--expect' is not a regular expression"},
    };
    for (const auto& c : cases) {
        const std::string line = c.Arguments.empty() ? "" : std::string(c.Arguments.front());
        try {
            const TFlashOptions options = ParseFlashCommandLine(c.Arguments);
            EXPECT_STREQ(c.Error, "") << line;
            if (line == "--port" && !options.Check.empty())
                EXPECT_EQ(options.Check.front().Text, "a\x01\r\\\n");
            else if (line == "--port") {
                EXPECT_EQ(options.FlashType, 1);
                EXPECT_EQ(options.Timeout, std::chrono::seconds(3));
                EXPECT_EQ(options.File, "f.s19");
            }
        } catch (const EUsage& e) {
            EXPECT_NE(std::string(e.what()).find(c.Error), std::string::npos)
                << line << ": " << e.what();
            EXPECT_STRNE(c.Error, "") << line << ": " << e.what();
        }
    }
}

// Boards are found by what sysfs says of their adapter, whatever ttyUSB number they got.
TEST(PortName, UsbNamesMatchThroughSysfs)
{
    FlashTempDir root;
    const std::filesystem::path dev = root.Path("dev"), sys = root.Path("sys");
    std::filesystem::create_directories(dev);
    const auto adapter = [&](const std::string& tty, const std::string& serial) {
        const std::filesystem::path usb = root.Path("devices/" + tty);
        std::filesystem::create_directories(usb / "1-1:1.0" / tty);
        std::ofstream(usb / "idVendor") << "0403\n";
        std::ofstream(usb / "idProduct") << "6001\n";
        std::ofstream(usb / "serial") << serial << "\n";
        std::filesystem::create_directories(sys / tty);
        std::filesystem::create_directory_symlink(usb / "1-1:1.0" / tty, sys / tty / "device");
        std::ofstream(dev / tty);
    };
    adapter("ttyUSB0", "A1");
    adapter("ttyUSB3", "B2");
    const auto find = [&](const std::string& name) { return FindPort(name, dev, sys); };

    EXPECT_EQ(find("usb:0403:6001:B2").Path, (dev / "ttyUSB3").string());
    EXPECT_EQ(find("/dev/ttyUSB9").Path, "/dev/ttyUSB9"); // a path as it is
    for (const std::string name : {"usb:0403:6001", "auto"}) {
        const TPortMatch match = find(name);
        EXPECT_FALSE(match.Path) << name;
        EXPECT_NE(match.Problem.find("several"), std::string::npos) << match.Problem;
        EXPECT_NE(match.Problem.find("usb:0403:6001:A1"), std::string::npos) << match.Problem;
    }
    EXPECT_NE(find("usb:1234:5678").Problem.find("no USB serial adapter matches"),
              std::string::npos);
    EXPECT_NE(find("usb:0403").Problem.find("is not usb:VID:PID"), std::string::npos);
}

// The lines as the sender reads them, and what they take on the wire (the JSON lines' bytes).
TEST(ImageCheck, LinesEndAtCtrlZAndGoOutWithOneCrEach)
{
    const struct
    {
        std::string Text;
        std::vector<std::string_view> Lines;
        std::uint64_t BytesOfFirst, BytesOfAll;
    } cases[] = {
        {"S0\r\nS1\n", {"S0\r", "S1"}, 3, 6},
        {"S0\r\r\nS1", {"S0\r\r", "S1"}, 3, 6},
        {"ab\ncd\x1a"
         "ef\n",
         {"ab", "cd"},
         3,
         6},
        {"\x1a"
         "ab\n",
         {},
         0,
         0},
        {"", {}, 0, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FirmwareLines(c.Text), c.Lines) << c.Text;
        EXPECT_EQ(BytesOfLines(c.Text, 1), c.BytesOfFirst) << c.Text;
        EXPECT_EQ(BytesOfLines(c.Text, 100), c.BytesOfAll) << c.Text;
        EXPECT_EQ(BytesOfLines(c.Text, 0), 0u) << c.Text;
        EXPECT_EQ(BytesOfLines(c.Text, -1), 0u) << c.Text;
    }
}

// The image rules that the flasher applies before anything is opened.
TEST(ImageCheck, RefusesWhatCannotOrMustNotBeSent)
{
    const struct
    {
        std::string Text;
        bool Verify;
        const char* Error; // empty: accepted
    } cases[] = {
        {"", true, "the file is empty"},
        {std::string("S0\0", 3), true, "binary"},
        {"S00600004844521B\nS1130000285F245F2212226A000424290008237C2A\nS5030001FB\n", true, ""},
        {"S00600004844521B\nS5030002FA\n", true, "line 2: count record says 2"},
        {"S1130000285F245F2212226A000424290008237C2B\n", true, "line 1: Checksum"},
        {"S1130000285F245F2212226A000424290008237C2B\n", false, ""},
        {"hello\nworld\n", true, ""}, // not S-records: sent as it is
        {std::string(MaxLineBytes + 1, 'x'), false, "longer than 8192 bytes"},
    };
    for (const auto& c : cases) {
        const TImageCheck check = CheckImage(c.Text, c.Verify);
        if (std::string(c.Error).empty()) {
            EXPECT_FALSE(check.Error) << c.Text.substr(0, 40) << ": " << *check.Error;
        } else {
            ASSERT_TRUE(check.Error) << c.Text.substr(0, 40);
            EXPECT_NE(check.Error->find(c.Error), std::string::npos) << *check.Error;
        }
    }
}

} // namespace

// A device's words are any bytes: the records quote them by the formats' rules and stay UTF-8.
TEST(BoardReport, DeviceWordsAreQuotedAndKeptUtf8)
{
    TBoardRecord board;
    board.Port = "COM3";
    board.Result = "failed";
    board.ExitCode = 1;
    board.Check = "v1.2 \xC2\xB5s"; // already UTF-8: kept
    board.Message = "ERREUR \xE9"
                    "crit, \"bad\"\r\n\x01"; // Latin-1 é, a comma, quotes, a CR LF
    EXPECT_EQ(CsvRow(board), ",,COM3,,,,failed,1,0.000,0,0,v1.2 \xC2\xB5s,\"ERREUR \xC3\xA9"
                             "crit, "
                             "\"\"bad\"\"\r\n\x01\"\r\n");
    const std::string junit = JUnitDocument(std::span(&board, 1));
    EXPECT_NE(junit.find("message=\"ERREUR \xC3\xA9"
                         "crit, &quot;bad&quot;&#13;&#10;\xEF\xBF\xBD\""),
              std::string::npos)
        << junit;
    EXPECT_NE(junit.find("tests=\"1\" failures=\"1\" errors=\"0\""), std::string::npos) << junit;
}
