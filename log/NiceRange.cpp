#include "NiceRange.h"

#include <cmath>

namespace {

// The number of the form 1, 2 or 5 times a power of ten nearest to x, or the least at or above
// it when `ceiling`.
double niceNumber(double x, bool ceiling)
{
    const double power = std::pow(10.0, std::floor(std::log10(x)));
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
