// The bounds of the chart's time axis, kept by zooming and panning in whole milliseconds. The
// arithmetic is done in doubles, which hold every millisecond up to the year 9999 exactly, and
// brought within the bounds before it is turned back into whole numbers, so that nothing
// overflows.

#include "TimeView.h"

#include <algorithm>
#include <cmath>

using namespace TimeViewBounds;

TimeView boundedTimeView(qint64 from, qint64 to)
{
    if (to < from)
        std::swap(from, to);
    from = std::clamp(from, Earliest, Latest);
    to = std::clamp(to, Earliest, Latest);
    if (to - from > LongestSpan)
        from = to - LongestSpan;
    if (to - from < ShortestSpan) {
        const qint64 middle = from + (to - from) / 2;
        from = std::clamp(middle - ShortestSpan / 2, Earliest, Latest - ShortestSpan);
        to = from + ShortestSpan;
    }
    return {from, to};
}

TimeView zoomedTimeView(TimeView view, double share, double factor)
{
    view = boundedTimeView(view.first, view.second);
    if (!(factor > 0) || !std::isfinite(factor))
        return view;
    share = std::isfinite(share) ? std::clamp(share, 0.0, 1.0) : 0.5;
    const double span = double(view.second - view.first);
    const double at = double(view.first) + share * span;
    const double newSpan =
        std::round(std::clamp(span * factor, double(ShortestSpan), double(LongestSpan)));
    const double from =
        std::clamp(std::round(at - share * newSpan), double(Earliest), double(Latest) - newSpan);
    return boundedTimeView(qint64(from), qint64(from + newSpan));
}

TimeView pannedTimeView(TimeView view, double shift)
{
    view = boundedTimeView(view.first, view.second);
    if (!std::isfinite(shift))
        return view;
    // At least a millisecond, so that panning moves even the shortest view.
    double whole = std::round(shift);
    if (whole == 0 && shift != 0)
        whole = std::copysign(1.0, shift);
    const qint64 span = view.second - view.first;
    const double from =
        std::clamp(double(view.first) + whole, double(Earliest), double(Latest - span));
    return {qint64(from), qint64(from) + span};
}
