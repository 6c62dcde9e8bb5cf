#pragma once
#include <cstdint>

// Whole percentage of Part in Whole, truncated toward zero; 0 when Whole is 0.
// Taken in 64-bit arithmetic so that any two 32-bit differences are safe.
int ToPercent(std::int64_t Part, std::int64_t Whole);

// Whole x (Percent x 0.01), truncated toward zero, reproducing bit for bit the classic
// 80-bit extended-precision evaluation (64-bit mantissa, round to nearest even, with
// 0.01 held as the extended value nearest to it, which lies slightly below). That
// constant makes some exact multiples come out one less: ScalePercent(5, 20) = 0.
// Computed with integers only, so every build and platform gives the same result.
int ScalePercent(int Percent, int Whole);

// A point of a gauge's figure, in pixels.
struct TGaugePoint
{
    int X = 0;
    int Y = 0;
    bool operator==(const TGaugePoint&) const = default;
};

// Where the pie's start radial and the needle's tip lie, as the figures use them (the classic
// extended-precision angle, rounded half to even).
TGaugePoint PieStartPoint(int Percent, int MX, int MY);
TGaugePoint NeedleTip(int Percent, int MX, int Bottom);
