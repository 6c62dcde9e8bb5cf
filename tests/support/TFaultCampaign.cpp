#include "tests/support/TFaultCampaign.h"

#include "sim/SRecordGenerator.h"
#include "tests/support/TPseudoTerminal.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <mutex>
#include <poll.h>
#include <random>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

using TClock = std::chrono::steady_clock;

// What the transmit buffer of a front end lets queue ahead of the wire (the component's
// default, which both front ends keep).
constexpr std::size_t TxBufferBytes = 8192;

bool LoadedExactly(const TSimulatedDevice& device, const TCampaignSession& session)
{
    const TLoadedImage image = device.LoadedImage();
    if (image.size() != session.Data.size()) return false;
    for (std::size_t i = 0; i < session.Data.size(); ++i) {
        const auto it = image.find(TCampaignSession::BaseAddress + static_cast<std::uint32_t>(i));
        if (it == image.end() || it->second != session.Data[i]) return false;
    }
    return true;
}

bool Allowed(TFault fault, TOutcome outcome, bool operatorStopsSilence)
{
    switch (fault) {
    case TFault::None:
    case TFault::StrayBytes:
    case TFault::SlowAnswers:
    case TFault::LongAnswers:
        return outcome == TOutcome::Flashed;
    case TFault::Restart:
        return outcome == TOutcome::Restarted;
    case TFault::Refusal:
        return outcome == TOutcome::Refused;
    case TFault::HangUp:
        return outcome == TOutcome::DeviceLost;
    case TFault::Silence:
        if (operatorStopsSilence)
            return outcome == TOutcome::Stopped || outcome == TOutcome::Flashed;
        return outcome == TOutcome::TimedOut || outcome == TOutcome::Unconfirmed;
    }
    return false;
}

std::string_view OutcomeName(TOutcome outcome)
{
    switch (outcome) {
    case TOutcome::Flashed:
        return "flashed";
    case TOutcome::Unconfirmed:
        return "unconfirmed";
    case TOutcome::Refused:
        return "refused";
    case TOutcome::Restarted:
        return "restarted";
    case TOutcome::TimedOut:
        return "timed out";
    case TOutcome::DeviceLost:
        return "device lost";
    case TOutcome::Stopped:
        return "stopped";
    case TOutcome::Other:
        return "other";
    case TOutcome::Hung:
        return "hung";
    }
    return "?";
}

// What reached the device after it refused or restarted, once the line is quiet.
std::size_t BytesAfterStop(const TSimulatedDevice& device, TFault fault)
{
    const auto count = [&] {
        return fault == TFault::Restart ? device.BytesAfterRestart() : device.BytesAfterRefusal();
    };
    std::size_t after = count();
    const auto giveUp = TClock::now() + std::chrono::seconds(20);
    while (TClock::now() < giveUp) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const std::size_t now = count();
        if (now == after && device.UnreadBytes() == 0) break;
        after = now;
    }
    return after;
}

} // namespace

TCampaignOptions TCampaignOptions::FromEnvironment(std::uint32_t firstSeed, int sessions)
{
    const auto read = [](const char* name, unsigned long otherwise) {
        const char* text = std::getenv(name);
        return text != nullptr && *text != '\0' ? std::stoul(text) : otherwise;
    };
    TCampaignOptions options;
    options.FirstSeed = static_cast<std::uint32_t>(read("TARVEL_CAMPAIGN_SEED", firstSeed));
    options.Sessions =
        static_cast<int>(read("TARVEL_CAMPAIGN_SESSIONS", static_cast<unsigned long>(sessions)));
    return options;
}

TCampaignTally::TRow& TCampaignTally::TRow::operator+=(const TRow& other)
{
    Sessions += other.Sessions;
    Right += other.Right;
    FalseSuccesses += other.FalseSuccesses;
    Hangs += other.Hangs;
    WrongOutcomes += other.WrongOutcomes;
    OverSent += other.OverSent;
    return *this;
}

int TCampaignTally::Sessions() const
{
    TRow all;
    for (const TRow& row : Rows)
        all += row;
    return all.Sessions;
}

int TCampaignTally::Failed() const
{
    TRow all;
    for (const TRow& row : Rows)
        all += row;
    return all.Sessions - all.Right;
}

std::string TCampaignTally::Table() const
{
    std::string table;
    char line[160];
    std::snprintf(line, sizeof line, "%-14s %9s %7s %14s %6s %6s %10s\n", "fault", "sessions",
                  "right", "false success", "hung", "wrong", "over-sent");
    table += line;
    TRow all;
    for (int kind = 0; kind < FaultKinds; ++kind) {
        const TRow& row = Rows[static_cast<std::size_t>(kind)];
        std::snprintf(line, sizeof line, "%-14s %9d %7d %14d %6d %6d %10d\n",
                      std::string(FaultName(static_cast<TFault>(kind))).c_str(), row.Sessions,
                      row.Right, row.FalseSuccesses, row.Hangs, row.WrongOutcomes, row.OverSent);
        table += line;
        all += row;
    }
    std::snprintf(line, sizeof line, "%-14s %9d %7d %14d %6d %6d %10d   (%.0f s)\n", "all",
                  all.Sessions, all.Right, all.FalseSuccesses, all.Hangs, all.WrongOutcomes,
                  all.OverSent, Seconds);
    table += line;
    for (const std::string& failure : Failures)
        table += "FAILED " + failure + "\n";
    return table;
}

TFaultCampaign::TFaultCampaign(std::filesystem::path workFolder)
    : fWorkFolder(std::move(workFolder))
{
}

TCampaignSession TFaultCampaign::Prepare(std::uint32_t seed) const
{
    // Other record sizes and line ends than the demo's, and files short enough for many
    // sessions, yet past one 64-line window.
    std::mt19937 random(seed ^ 0x5eedf11eU);
    const auto pick = [&random](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random);
    };
    constexpr std::size_t RecordSizes[] = {16, 24, 32, 48};
    TSRecordFileOptions fileOptions;
    fileOptions.BytesPerRecord = RecordSizes[pick(0, 3)];
    fileOptions.LineEnd = pick(0, 1) == 0 ? TLineEnd::CrLf : TLineEnd::Lf;
    TCampaignSession session;
    session.Data = GenerateFirmwareBytes(static_cast<std::size_t>(pick(1024, 4096)), seed);
    const std::string text =
        GenerateSRecordFile(session.Data, TCampaignSession::BaseAddress, fileOptions);
    session.File = (fWorkFolder / ("session-" + std::to_string(seed) + ".s19")).string();
    std::ofstream(session.File, std::ios::binary) << text;
    session.Plan = PlanFault(seed, static_cast<int>(std::count(text.begin(), text.end(), '\n')));
    return session;
}

std::string TFaultCampaign::RunOne(std::uint32_t seed, const TCampaignOptions& options,
                                   const TRunner& runner, TCampaignTally::TRow& row,
                                   TFault& fault) const
{
    const TCampaignSession session = Prepare(seed);
    fault = session.Plan.Fault;
    TSimulatedDeviceOptions deviceOptions; // at the line's real pace
    ApplyFault(session.Plan, deviceOptions);
    std::string problem;
    {
        TSimulatedDevice device(deviceOptions);
        const TSessionResult result = runner(session, device);
        const std::string said =
            std::string(OutcomeName(result.Outcome)) + " (\"" + result.Said + "\")";
        if (result.Outcome == TOutcome::Hung) {
            ++row.Hangs;
            problem = "hung";
        } else if (result.Outcome == TOutcome::Flashed &&
                   !(LoadedExactly(device, session) && device.CompletedLoads() == 1)) {
            ++row.FalseSuccesses;
            problem = "false success: " + said;
        } else if (!Allowed(fault, result.Outcome, options.OperatorStopsSilence)) {
            ++row.WrongOutcomes;
            problem = "wrong outcome: " + said;
        } else if (fault == TFault::Restart || fault == TFault::Refusal) {
            static const std::size_t held = TPseudoTerminal::CapacityBytes();
            if (const std::size_t after = BytesAfterStop(device, fault);
                after > TxBufferBytes + held) {
                ++row.OverSent;
                problem = std::to_string(after) + " bytes reached the device after the stop";
            }
        }
        if (problem.empty() && !device.ThreadError().empty())
            problem = "the simulated device failed: " + device.ThreadError();
    }
    std::filesystem::remove(session.File);
    ++row.Sessions;
    if (problem.empty()) ++row.Right;
    return problem.empty() ? problem : Describe(session.Plan) + ": " + problem;
}

TCampaignTally TFaultCampaign::Run(const TCampaignOptions& options, const TRunner& runner) const
{
    TCampaignTally tally;
    std::mutex tallyMutex;
    std::atomic<int> next{0};
    const auto start = TClock::now();
    const auto work = [&] {
        for (int i; (i = next++) < options.Sessions;) {
            const auto seed = options.FirstSeed + static_cast<std::uint32_t>(i);
            TCampaignTally::TRow row;
            TFault fault = TFault::None;
            const std::string failure = RunOne(seed, options, runner, row, fault);
            std::lock_guard lock(tallyMutex);
            tally.Rows[static_cast<std::size_t>(fault)] += row;
            if (!failure.empty()) tally.Failures.push_back(failure);
        }
    };
    std::vector<std::thread> threads;
    for (int t = 1; t < options.Parallel; ++t)
        threads.emplace_back(work);
    work();
    for (std::thread& thread : threads)
        thread.join();
    tally.Seconds = std::chrono::duration<double>(TClock::now() - start).count();
    return tally;
}

TSessionResult RunFlashProcess(const std::string& program, const TCampaignSession& session,
                               const std::string& port, std::chrono::seconds timeout)
{
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return {TOutcome::Other, "pipe failed"};
    std::vector<std::string> arguments{program,
                                       "--port",
                                       port,
                                       "--timeout",
                                       std::to_string(timeout.count()),
                                       "--progress",
                                       "none",
                                       "--require-confirmation",
                                       session.File};
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, out[1], 2);
    pid_t pid = -1;
    const int spawned =
        ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (spawned != 0) {
        ::close(out[0]);
        return {TOutcome::Other, "cannot start " + program};
    }

    // Three waits for the dialogue, the transfer at the line's pace, the wait for the verdict:
    // far more than any session needs, only a guard against a hang.
    const auto giveUp = TClock::now() + 4 * timeout + std::chrono::seconds(40);
    std::string output;
    bool hung = false;
    for (char buffer[1024];;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(giveUp - TClock::now());
        if (left.count() <= 0) {
            hung = true;
            break;
        }
        pollfd readable{out[0], POLLIN, 0};
        if (::poll(&readable, 1, static_cast<int>(left.count())) < 0 && errno != EINTR) break;
        const ssize_t n = ::read(out[0], buffer, sizeof buffer);
        if (n == 0) break;
        if (n > 0) output.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(out[0]);
    if (hung) ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    while (!output.empty() && output.back() == '\n')
        output.pop_back();
    if (hung) return {TOutcome::Hung, output};
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    const auto says = [&output](std::string_view words) {
        return output.find(words) != std::string::npos;
    };
    TOutcome outcome = TOutcome::Other;
    if (code == 0)
        outcome = says(": ok,") ? TOutcome::Flashed : TOutcome::Unconfirmed;
    else if (code == 4)
        outcome = TOutcome::DeviceLost;
    else if (code == 1 && says("restarted"))
        outcome = TOutcome::Restarted;
    else if (code == 1 && says("refused"))
        outcome = TOutcome::Refused;
    else if (code == 1 && says("no answer from the device"))
        outcome = TOutcome::TimedOut;
    else if (code == 1 && says("did not confirm"))
        outcome = TOutcome::Unconfirmed;
    return {outcome, "exit " + std::to_string(code) + ": " + output};
}
