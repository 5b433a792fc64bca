#pragma once

#include <QColor>
#include <QList>
#include <QPen>

// How the chart tells its series apart: the eight colours of the Okabe–Ito palette, which
// readers with the common kinds of colour blindness can tell apart, and after every eight
// series a further mark, the same in the plot and in the legend: solid, dashes, dots, dashes
// and dots. The 33rd series looks like the first again.
namespace SeriesStyle {

constexpr int Colours = 8;
constexpr int Marks = 4;

// The colour of the series with this index (from 0).
QColor colour(int series);
// The dashes of its mark, in pixels on and off (empty: a solid line).
QList<qreal> dashPixels(int series);
// A pen of the series' colour and mark, `width` pixels wide.
QPen pen(int series, qreal width);

} // namespace SeriesStyle
