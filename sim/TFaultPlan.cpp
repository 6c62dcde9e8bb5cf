#include "sim/TFaultPlan.h"

#include <algorithm>
#include <array>
#include <random>

TFaultPlan PlanFault(std::uint32_t seed, int records)
{
    std::mt19937 random(seed);
    const auto pick = [&random](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random);
    };
    TFaultPlan plan;
    plan.Seed = seed;
    plan.Records = records;
    plan.Fault = static_cast<TFault>(pick(0, FaultKinds - 1));
    switch (plan.Fault) {
    case TFault::Restart:
        // On the last record the load is as good as ended: the device answers it, or not.
        plan.Record = pick(1, std::max(records - 1, 1));
        break;
    case TFault::Refusal:
    case TFault::Silence:
    case TFault::HangUp:
        plan.Record = pick(1, std::max(records, 1));
        break;
    case TFault::SlowAnswers:
        plan.ReplyDelay = std::chrono::milliseconds(pick(50, 400));
        break;
    case TFault::LongAnswers:
        // Past what the line carries, yet not so much that the device's own queue overflows.
        plan.AnswerBytes = pick(100, std::clamp(40000 / std::max(records, 1), 100, 400));
        break;
    case TFault::None:
    case TFault::StrayBytes:
        break;
    }
    return plan;
}

std::string_view FaultName(TFault fault)
{
    constexpr std::array<std::string_view, FaultKinds> Names = {
        "none",    "stray bytes", "slow answers", "long answers",
        "restart", "refusal",     "silence",      "hang-up"};
    const auto index = static_cast<std::size_t>(fault);
    return index < Names.size() ? Names[index] : "?";
}

std::string Describe(const TFaultPlan& plan)
{
    std::string text =
        "seed " + std::to_string(plan.Seed) + ": " + std::string(FaultName(plan.Fault));
    if (plan.Record > 0)
        text += " at record " + std::to_string(plan.Record) + " of " + std::to_string(plan.Records);
    else
        text += ", " + std::to_string(plan.Records) + " records";
    if (plan.ReplyDelay.count() > 0) text += ", " + std::to_string(plan.ReplyDelay.count()) + " ms";
    if (plan.AnswerBytes > 0) text += ", " + std::to_string(plan.AnswerBytes) + "-byte answers";
    return text;
}

void ApplyFault(const TFaultPlan& plan, TSimulatedDeviceOptions& options)
{
    switch (plan.Fault) {
    case TFault::None:
        break;
    case TFault::StrayBytes:
        options.StrayBytesSeed = plan.Seed | 1u;
        break;
    case TFault::SlowAnswers:
        options.ReplyDelay = plan.ReplyDelay;
        break;
    case TFault::LongAnswers:
        options.LongAnswerBytes = plan.AnswerBytes;
        break;
    case TFault::Restart:
    case TFault::Refusal:
    case TFault::Silence:
    case TFault::HangUp: {
        // The faults that strike at one record, in the order of the enum.
        constexpr std::array<int TSimulatedDeviceOptions::*, 4> AtRecord = {
            &TSimulatedDeviceOptions::RestartAtRecord, &TSimulatedDeviceOptions::ErreurAtRecord,
            &TSimulatedDeviceOptions::SilenceFromRecord, &TSimulatedDeviceOptions::HangUpAtRecord};
        options.*AtRecord[static_cast<std::size_t>(plan.Fault) -
                          static_cast<std::size_t>(TFault::Restart)] = plan.Record;
        break;
    }
    }
}
