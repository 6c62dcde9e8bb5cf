#pragma once
// Many short flashing sessions against simulated devices with one random fault each (the seed
// says which, and where), judged by an oracle: a session flashes the image exactly and says so,
// or says the failure its fault calls for. Never a false success, never a hang, and after a
// stop no more than the transmit buffer and what the line holds reaches the device. A failing
// session is reported with its seed, so that it can be run again alone.

#include "sim/TFaultPlan.h"
#include "sim/TSimulatedDevice.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

enum class TOutcome {
    Flashed,     // the front end says the board is flashed
    Unconfirmed, // every line went out, the device did not confirm (a failure here)
    Refused,
    Restarted,
    TimedOut,
    DeviceLost,
    Stopped, // the operator stopped a transfer that did not move
    Other,   // anything else the front end said
    Hung,    // the session did not end within its bound
};

struct TCampaignSession
{
    TFaultPlan Plan;
    std::string File; // the firmware file the front end sends
    std::vector<std::uint8_t> Data;
    static constexpr std::uint32_t BaseAddress = 0x00400000;
};

struct TSessionResult
{
    TOutcome Outcome = TOutcome::Other;
    std::string Said; // the front end's words, for the report
};

struct TCampaignOptions
{
    std::uint32_t FirstSeed = 1;
    int Sessions = 100;
    int Parallel = 4;
    // The window has no time-out of its own: its operator stops a transfer that stands still,
    // and a device silent only over the last lines may leave it flashed.
    bool OperatorStopsSilence = false;

    // TARVEL_CAMPAIGN_SEED and TARVEL_CAMPAIGN_SESSIONS, where set, over the given defaults: a
    // failing session runs again alone, or a longer campaign runs.
    static TCampaignOptions FromEnvironment(std::uint32_t firstSeed, int sessions);
};

struct TCampaignTally
{
    struct TRow
    {
        int Sessions = 0, Right = 0, FalseSuccesses = 0, Hangs = 0, WrongOutcomes = 0, OverSent = 0;
        TRow& operator+=(const TRow& other);
    };
    std::array<TRow, FaultKinds> Rows{};
    std::vector<std::string> Failures; // one line each, with the seed
    double Seconds = 0;

    int Sessions() const;
    int Failed() const;
    std::string Table() const;
};

class TFaultCampaign
{
public:
    // Runs one session: the front end flashes session.File into device and says how it ended.
    using TRunner = std::function<TSessionResult(const TCampaignSession&, TSimulatedDevice&)>;

    explicit TFaultCampaign(std::filesystem::path workFolder);

    // The file (record size, line ends, size) and the fault drawn from seed.
    TCampaignSession Prepare(std::uint32_t seed) const;
    // Runs the sessions, Parallel at a time (a runner must then be safe to call from several
    // threads); the tally says how each fault went.
    TCampaignTally Run(const TCampaignOptions& options, const TRunner& runner) const;

private:
    std::string RunOne(std::uint32_t seed, const TCampaignOptions& options, const TRunner& runner,
                       TCampaignTally::TRow& row, TFault& fault) const;

    std::filesystem::path fWorkFolder;
};

// A runner for tarvel-flash as a rig runs it: a process per session, silence after the last
// line counted as a failure, ended by force (and counted hung) past a generous bound.
TSessionResult RunFlashProcess(const std::string& program, const TCampaignSession& session,
                               const std::string& port, std::chrono::seconds timeout);
