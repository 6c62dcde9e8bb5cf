#include "widgets/GaugePercent.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <numbers>

namespace {

int RoundHalfEven(long double v)
{
    return static_cast<int>(std::nearbyint(v)); // default rounding mode: ties to even
}

} // namespace

TGaugePoint PieStartPoint(int Percent, int MX, int MY)
{
    const double A = std::numbers::pi_v<long double> * (Percent / 50.0L + 0.5L);
    const long double a = A;
    return {RoundHalfEven(MX * (1.0L - std::cos(a))), RoundHalfEven(MY * (1.0L - std::sin(a)))};
}

TGaugePoint NeedleTip(int Percent, int MX, int Bottom)
{
    const double A = std::numbers::pi_v<long double> * Percent / 100.0L;
    const long double a = A;
    return {RoundHalfEven(MX * (1.0L - std::cos(a))),
            RoundHalfEven((Bottom - 1) * (1.0L - std::sin(a)))};
}

int ToPercent(std::int64_t Part, std::int64_t Whole)
{
    if (Whole == 0) return 0;
    return static_cast<int>((Part * 100) / Whole);
}

#if defined(__SIZEOF_INT128__)

namespace {

using U128 = unsigned __int128;

// The extended value nearest to 0.01 is OneHundredth / 2^70: the 64-bit integer
// nearest to 0.01 x 2^70 = 11805916207174113034.24.
constexpr std::uint64_t OneHundredth = 11805916207174113034ULL;
constexpr int OneHundredthShift = 70;
constexpr int MantissaBits = 64;

int BitLength(U128 v)
{
    const auto high = static_cast<std::uint64_t>(v >> 64);
    const auto low = static_cast<std::uint64_t>(v);
    if (high != 0) return 128 - std::countl_zero(high);
    return 64 - std::countl_zero(low);
}

// Rounds v to MantissaBits significant bits, to nearest with ties to even, as the
// floating-point unit does after each operation. The scale of v is unchanged.
U128 RoundToMantissa(U128 v)
{
    const int excess = BitLength(v) - MantissaBits;
    if (excess <= 0) return v;
    const U128 unit = static_cast<U128>(1) << excess;
    const U128 rest = v & (unit - 1);
    const U128 half = unit >> 1;
    U128 kept = v >> excess;
    if (rest > half || (rest == half && (kept & 1) != 0)) ++kept;
    return kept << excess; // a carry to 2^64 stays exact: it is a power of two
}

} // namespace

int ScalePercent(int Percent, int Whole)
{
    // Signs are handled apart: rounding to nearest and truncation are symmetric.
    const bool negative = (Percent < 0) != (Whole < 0);
    const U128 p = static_cast<U128>(std::llabs(Percent));
    const U128 w = static_cast<U128>(std::llabs(Whole));
    // Percent x 0.01, rounded (scale 2^-70); at most 2^31 x 2^64 = 2^95.
    const U128 fraction = RoundToMantissa(p * OneHundredth);
    // Whole x that, rounded: the product can reach 2^126, so reduce the fraction to its
    // 64 significant bits first (it already has no more), keeping track of the scale.
    int shift = OneHundredthShift;
    U128 f = fraction;
    if (f != 0) {
        const auto low = static_cast<std::uint64_t>(f);
        const int zeros = low != 0 ? std::countr_zero(low)
                                   : 64 + std::countr_zero(static_cast<std::uint64_t>(f >> 64));
        const int drop = std::min(zeros, shift);
        f >>= drop;
        shift -= drop;
    }
    const U128 product = RoundToMantissa(w * f);
    const U128 whole = product >> shift;
    const long long result = static_cast<long long>(whole);
    return static_cast<int>(negative ? -result : result);
}

#else

// Without 128-bit integers (32-bit x86) the x87 unit's own 80-bit arithmetic is the classic one.
static_assert(std::numeric_limits<long double>::digits == 64);

int ScalePercent(int Percent, int Whole)
{
    const long double fraction = Percent * 0.01L;
    return static_cast<int>(Whole * fraction);
}

#endif
