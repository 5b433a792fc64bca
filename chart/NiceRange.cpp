// The value axis' range widened to round values, the same on every platform.

#include "NiceRange.h"

#include <cmath>

namespace {

// The largest power of ten at or below x (x > 0), infinity for infinity. Found by multiplying and
// dividing, which every platform rounds alike, rather than by pow and log10, whose last bits differ
// between C libraries and would give another axis on another platform.
double powerOfTenBelow(double x)
{
    if (std::isinf(x))
        return x;
    double power = 1;
    while (power * 10 <= x)
        power *= 10;
    while (power > x)
        power /= 10;
    return power;
}

// The number of the form 1, 2 or 5 times a power of ten nearest to x, or the least at or above
// it when `ceiling`.
double niceNumber(double x, bool ceiling)
{
    const double power = powerOfTenBelow(x);
    const double fraction = x / power; // from 1 up to 10
    double nice = 10;
    if (ceiling)
        nice = fraction <= 1 ? 1 : fraction <= 2 ? 2 : fraction <= 5 ? 5 : 10;
    else
        nice = fraction < 1.5 ? 1 : fraction < 3 ? 2 : fraction < 7 ? 5 : 10;
    return nice * power;
}

} // namespace

NiceRange niceRange(double lowest, double highest, int ticks)
{
    const double range = niceNumber(highest - lowest, true);
    const double step = niceNumber(range / (ticks - 1), false);
    // Beyond 2^53 steps from zero, multiples of the step are no longer whole numbers of steps
    // apart, and how they round is not the same everywhere: the readings' own range is kept.
    constexpr double wholeSteps = 9007199254740992.0; // 2^53
    if (!(std::fabs(lowest / step) <= wholeSteps && std::fabs(highest / step) <= wholeSteps))
        return {lowest, highest, ticks};
    const double first = std::floor(lowest / step);
    const double last = std::ceil(highest / step);
    const NiceRange nice{first * step, last * step, int(last - first) + 1};
    // Near the largest doubles there is no round value beyond the readings; and where the
    // step is a few units in the last place of the values, a multiple of it may come out just
    // short of them. Either way the axis spans the readings as they are.
    if (!std::isfinite(nice.min) || !std::isfinite(nice.max) || !std::isfinite(step) ||
        nice.min > lowest || nice.max < highest)
        return {lowest, highest, ticks};
    return nice;
}
