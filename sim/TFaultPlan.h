#pragma once
// One fault of the simulated device, drawn from a seed, so that a campaign of many sessions can
// replay any one of them: the kind of fault, the record it strikes at, and how hard.

#include "sim/TSimulatedDevice.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

enum class TFault {
    None,
    StrayBytes,  // line noise in the answers to records
    SlowAnswers, // every answer a few hundred ms late
    LongAnswers, // a long line for every record, more than the line can carry
    Restart,     // a reset at a record before the last: banner and menu again
    Refusal,     // "ERREUR" for a record
    Silence,     // nothing more from a record on
    HangUp,      // the line closes at a record, like a pulled adapter
};
constexpr int FaultKinds = 8;

struct TFaultPlan
{
    std::uint32_t Seed = 0;
    TFault Fault = TFault::None;
    int Records = 0; // lines of the file the device will be sent
    int Record = 0;  // where the fault strikes, 1-based
    std::chrono::milliseconds ReplyDelay{0};
    int AnswerBytes = 0;
};

// The same seed and record count always give the same plan.
TFaultPlan PlanFault(std::uint32_t seed, int records);
std::string_view FaultName(TFault fault);
// "restart at record 80 of 194", for a tally or a failing session's report.
std::string Describe(const TFaultPlan& plan);
void ApplyFault(const TFaultPlan& plan, TSimulatedDeviceOptions& options);
