// tarvel-flash as a rig runs it: a process against simulated boot loaders, judged by its exit
// code, its output and what the devices loaded.
#include "flasher/ImageCheck.h"
#include "sim/SRecordGenerator.h"
#include "sim/TSimulatedDevice.h"
#include "tests/app/FlashTempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr uint32_t BaseAddress = 0x00400000;

struct TRun
{
    int ExitCode = -1;
    std::string Output;
};

TRun RunFlash(const std::string& arguments)
{
    TRun run;
    FILE* pipe = ::popen((std::string(TARVEL_FLASH) + " " + arguments + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return run;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        run.Output.append(buffer, n);
    const int status = ::pclose(pipe);
    run.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
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

class TarvelFlash : public ::testing::Test
{
protected:
    std::string Image(std::size_t bytes, uint32_t seed = 1)
    {
        Data = GenerateFirmwareBytes(bytes, seed);
        return Dir.Write("image.s19", GenerateSRecordFile(Data, BaseAddress));
    }
    FlashTempDir Dir;
    std::vector<uint8_t> Data;
};

TEST_F(TarvelFlash, FlashesTheExactImageWithAShortPlainLog)
{
    TSimulatedDevice device; // at the line's real pace
    const std::string file = Image(16 * 1024);
    const TRun run = RunFlash("--port " + device.DevicePath() + " " + file);
    EXPECT_EQ(run.ExitCode, 0) << run.Output;
    EXPECT_TRUE(LoadedExactly(device, Data));
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

TEST_F(TarvelFlash, PortsThatCannotServeSayWhy)
{
    const std::string file = Image(1024);
    const TRun missing = RunFlash("--port /dev/tarvel-no-such-port " + file);
    EXPECT_EQ(missing.ExitCode, 3) << missing.Output;
    EXPECT_NE(missing.Output.find("Nothing is plugged in there"), std::string::npos);

    // A line where nothing answers: the far end of a pseudo-terminal that nobody serves.
    int master = -1, slave = -1;
    char name[256];
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    const TRun mute = RunFlash("--timeout 3 --port " + std::string(name) + " " + file);
    ::close(slave);
    ::close(master);
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
        EXPECT_TRUE(LoadedExactly(*device, Data)) << device->DevicePath();
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
    const std::string file = Dir.Write("bad.s19", text);
    TSimulatedDevice device;
    const TRun run = RunFlash("--port " + device.DevicePath() + " " + file);
    EXPECT_EQ(run.ExitCode, 2) << run.Output;
    EXPECT_NE(run.Output.find("line 4: Checksum mismatch"), std::string::npos) << run.Output;
    EXPECT_EQ(device.State(), TDeviceState::Idle); // not even woken
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
