// The command-line tools as a user runs them.
#include "firmware/SRecord.h"
#include "sim/SRecordGenerator.h"
#include "sim/TDeviceDialogue.h"
#include "tests/support/TPseudoTerminal.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

// A child process with its standard output on a pipe; killed and reaped if still running.
class TChild
{
public:
    explicit TChild(std::vector<std::string> arguments)
    {
        int pipeFds[2];
        if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
            ADD_FAILURE() << "pipe2";
            return;
        }
        fOutput.Reset(pipeFds[0]);
        TFileDescriptor writeEnd(pipeFds[1]);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, writeEnd.Get(), STDOUT_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        std::vector<char*> argv;
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        if (::posix_spawn(&fPid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
            ADD_FAILURE() << "cannot start " << arguments[0];
            fPid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
    }
    ~TChild()
    {
        if (fPid > 0) {
            ::kill(fPid, SIGKILL);
            ::waitpid(fPid, nullptr, 0);
        }
    }

    // The first line the child prints, without its line end.
    std::string ReadLine()
    {
        std::string line;
        char c;
        pollfd fd{fOutput.Get(), POLLIN, 0};
        while (::poll(&fd, 1, 20'000) > 0 && ::read(fOutput.Get(), &c, 1) == 1 && c != '\n')
            line += c;
        return line;
    }

    std::string ReadAll()
    {
        std::string text;
        char buffer[4096];
        pollfd fd{fOutput.Get(), POLLIN, 0};
        for (ssize_t n;
             ::poll(&fd, 1, 20'000) > 0 && (n = ::read(fOutput.Get(), buffer, sizeof buffer)) > 0;)
            text.append(buffer, static_cast<std::size_t>(n));
        return text;
    }

    // Exit status after the child ended on its own or on `signal` (0 = just wait).
    int Finish(int signal = 0)
    {
        if (signal != 0) ::kill(fPid, signal);
        int status = 0;
        ::waitpid(fPid, &status, 0);
        fPid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

private:
    pid_t fPid = -1;
    TFileDescriptor fOutput;
};

std::string ReadFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::stringstream content;
    content << file.rdbuf();
    return content.str();
}

TLoadedImage ImageOfFile(const std::string& text)
{
    TLoadedImage image;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const TSRecord record = ParseSRecord(line);
        if (IsSRecordData(record.Type))
            for (std::size_t i = 0; i < record.Data.size(); ++i)
                image[static_cast<uint32_t>(record.Address + i)] = record.Data[i];
    }
    return image;
}

std::string TemporaryPath(const std::string& name)
{
    return ::testing::TempDir() + "tarvel-sim-" + std::to_string(::getpid()) + "-" + name;
}

} // namespace

TEST(DevSimProgram, ServesAPathLoadsAFileAndDumpsTheImageAtExit)
{
    const std::string dump = TemporaryPath("dump.s19");
    std::remove(dump.c_str());
    TChild devsim({TARVEL_DEVSIM, "--baud", "off", "--dump-image", dump});
    const std::string path = devsim.ReadLine();
    ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;

    const std::string file = GenerateSRecordFile(GenerateFirmwareBytes(2000, 3), 0x400);
    {
        TProgramEnd peer(path);
        ASSERT_TRUE(peer.Write("\r\n"));
        peer.ReadUntil(">");
        ASSERT_TRUE(peer.Write("1"));
        peer.ReadUntil(":");
        ASSERT_TRUE(peer.Write("qxvt"));
        peer.ReadUntil("Send");
        ASSERT_TRUE(peer.Write(file));
        EXPECT_NE(peer.ReadUntil("Load complete").find("Load complete"), std::string::npos);
    }
    EXPECT_EQ(devsim.Finish(SIGTERM), 0);
    EXPECT_EQ(ImageOfFile(ReadFile(dump)), ImageOfFile(file));
    std::remove(dump.c_str());
}

TEST(DevSimProgram, HelpAndBadOptions)
{
    TChild help({TARVEL_DEVSIM, "--help"});
    EXPECT_NE(help.ReadAll().find("--hangup-at"), std::string::npos);
    EXPECT_EQ(help.Finish(), 0);
    TChild bad({TARVEL_DEVSIM, "--baud", "fast"});
    EXPECT_EQ(bad.Finish(), 2);
}

TEST(DevSimProgram, EndsWhenTheInjectedHangUpHappens)
{
    TChild devsim({TARVEL_DEVSIM, "--baud=off", "--hangup-at=1"});
    const std::string path = devsim.ReadLine();
    TProgramEnd peer(path);
    ASSERT_TRUE(peer.Write("\r\n"));
    peer.ReadUntil(">");
    ASSERT_TRUE(peer.Write("2"));
    peer.ReadUntil(":");
    ASSERT_TRUE(peer.Write("qxvt"));
    peer.ReadUntil("Send");
    ASSERT_TRUE(peer.Write("S9030000FC\r"));
    EXPECT_TRUE(peer.WaitForHangUp());
    EXPECT_EQ(devsim.Finish(), 0);
}

TEST(SRecGenProgram, WritesTheFileItIsAskedFor)
{
    const std::string path = TemporaryPath("gen.s19");
    TChild generator({TARVEL_SREC_GEN, "--size", "1000", "--base", "0x2000", "--record-bytes", "16",
                      "--lf", "--seed", "9", "-o", path});
    ASSERT_EQ(generator.Finish(), 0);
    const std::string text = ReadFile(path);
    TSRecordFileOptions options;
    options.BytesPerRecord = 16;
    options.LineEnd = TLineEnd::Lf;
    EXPECT_EQ(text, GenerateSRecordFile(GenerateFirmwareBytes(1000, 9), 0x2000, options));
    std::remove(path.c_str());

    TChild missing({TARVEL_SREC_GEN, "--size", "10"});
    EXPECT_EQ(missing.Finish(), 2);
}
