#pragma once

#include <QtGlobal>

#include <utility>

// The times the chart shows, [from, to] in milliseconds since 1970 UTC, and how zooming and
// panning move them. A view spans from a millisecond to a hundred years and lies within the
// years 1970 to 9999; zooming and panning stop at these bounds.
using TimeView = std::pair<qint64, qint64>;

namespace TimeViewBounds {
constexpr qint64 ShortestSpan = 1;
constexpr qint64 LongestSpan = Q_INT64_C(36525) * 24 * 3600 * 1000; // leap days included
constexpr qint64 Earliest = 0;                                      // 01/01/1970 00:00 UTC
constexpr qint64 Latest = Q_INT64_C(253402300799999);               // 12/31/9999 23:59:59.999 UTC
} // namespace TimeViewBounds

// [from, to] (in either order) brought within the bounds: each end within the years, then a
// span too long shortened to its later end (following keeps the newest in view), a span too
// short widened about its middle.
TimeView boundedTimeView(qint64 from, qint64 to);
// The view zoomed by `factor` (below 1 zooms in) about the point `share` of the way across it
// (0 to 1), which stays where it is; the span stops at its bounds, and a view that would reach
// beyond the years is moved back within them whole.
TimeView zoomedTimeView(TimeView view, double share, double factor);
// The view moved by `shift` milliseconds (later when positive), its span kept; it stops at the
// ends of the years.
TimeView pannedTimeView(TimeView view, double shift);
