#pragma once

#include <QList>
#include <QPointF>

class ReadingList;

// What a chart draws of a series over `columns` pixel columns spanning the times [from, to]:
// for every column its first, lowest, highest and last reading (fewer points where these
// coincide), in the order of their rows. A line through them covers every value that falls in
// the column, so no outlier is lost, and it costs at most four points a column however many
// readings there are. In a time-ordered series the readings just outside the range are added
// too, so that the line runs on to the edges. x is the time (milliseconds since 1970), y the
// value. Where the series' line is broken (ReadingList::breakLine), the readings on either side
// are reduced apart, so that each segment keeps its own extremes, and the line is not drawn
// across: `segmentStarts` holds the points that begin a new segment.
struct ColumnReduction {
    QList<QPointF> points;
    QList<qsizetype> segmentStarts; // indices into points, ascending; never 0
    qsizetype readingsInRange = 0;
    double lowest = 0; // of the readings in the range, when there are any
    double highest = 0;
};

ColumnReduction reduceToColumns(const ReadingList& readings, qint64 from, qint64 to, int columns);
