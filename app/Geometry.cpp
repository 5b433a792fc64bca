#include "Geometry.h"

#include <cmath>
#include <limits>

namespace {

int roundToInt16(double value)
{
    // nearbyint uses the current rounding mode, which is round-half-to-even by default.
    const double rounded = std::nearbyint(value);
    constexpr double lo = std::numeric_limits<qint16>::min();
    constexpr double hi = std::numeric_limits<qint16>::max();
    return static_cast<int>(rounded < lo ? lo : rounded > hi ? hi : rounded);
}

} // namespace

std::pair<int, int> logColumnWidths(float outerWidth)
{
    const float three = 3.0f;
    const double width = outerWidth;
    return {roundToInt16(width / three), roundToInt16((width + width) / three)};
}
