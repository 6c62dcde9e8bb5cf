#pragma once
// A fuzz target's own judgement of what the code under test did: a broken rule ends the run with
// a crash that libFuzzer keeps as a reproducer, and says which rule on stderr.

#include <cstdio>
#include <cstdlib>

class TFuzzRule
{
public:
    explicit constexpr TFuzzRule(const char* target) : fTarget(target) {}

    [[noreturn]] void Fail(const char* why) const
    {
        std::fprintf(stderr, "%s fuzz: %s\n", fTarget, why);
        std::abort();
    }
    void Check(bool condition, const char* why) const
    {
        if (!condition) Fail(why);
    }

private:
    const char* fTarget;
};
