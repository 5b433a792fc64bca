// A series reduced to the pixel columns of the plot: the first, lowest, highest and last reading
// of every column.

#include "ColumnReduction.h"

#include "ReadingSeries.h"

#include <algorithm>
#include <cmath>
#include <tuple>
#include <vector>

namespace {

// The readings of one column, by index.
struct Column {
    qsizetype first = -1;
    qsizetype last = -1;
    qsizetype lowest = -1;
    qsizetype highest = -1;
    qsizetype count = 0;
};

void addPoint(ColumnReduction& out, const ReadingList& readings, qsizetype index)
{
    out.points.append(QPointF(double(readings.msecsAt(index)), readings.valueAt(index)));
}

void addColumn(ColumnReduction& out, const ReadingList& readings, const Column& column)
{
    qsizetype indices[] = {column.first, column.lowest, column.highest, column.last};
    std::sort(std::begin(indices), std::end(indices));
    const auto end = std::unique(std::begin(indices), std::end(indices));
    for (auto it = std::begin(indices); it != end; ++it)
        addPoint(out, readings, *it);
    const double low = readings.valueAt(column.lowest);
    const double high = readings.valueAt(column.highest);
    if (out.readingsInRange == 0 || low < out.lowest)
        out.lowest = low;
    if (out.readingsInRange == 0 || high > out.highest)
        out.highest = high;
    out.readingsInRange += column.count;
}

} // namespace

ColumnReduction reduceToColumns(const ReadingList& readings, qint64 from, qint64 to, int columns)
{
    ColumnReduction out;
    if (readings.isEmpty() || to < from || columns < 1)
        return out;
    // Column c holds the times from start(c) up to start(c + 1).
    const double span = double(to - from) + 1;
    const auto start = [&](int c) {
        return from + qint64(std::ceil(double(c) * span / double(columns)));
    };

    if (readings.isTimeOrdered()) {
        const qsizetype begin = readings.lowerBound(from);
        const qsizetype end = readings.upperBound(to);
        if (begin > 0)
            addPoint(out, readings, begin - 1);
        qsizetype columnBegin = begin;
        for (int c = 0; c < columns && columnBegin < end; ++c) {
            const qsizetype columnEnd =
                c + 1 == columns ? end : std::min(end, readings.lowerBound(start(c + 1)));
            if (columnEnd > columnBegin) {
                Column column;
                column.first = columnBegin;
                column.last = columnEnd - 1;
                column.count = columnEnd - columnBegin;
                std::tie(column.lowest, column.highest) = readings.extremes(columnBegin, columnEnd);
                addColumn(out, readings, column);
            }
            columnBegin = columnEnd;
        }
        if (end < readings.size())
            addPoint(out, readings, end);
        return out;
    }

    // The clock was set back while readings came: each reading finds its column by its time,
    // and the columns are drawn left to right.
    std::vector<Column> byColumn(static_cast<size_t>(columns));
    for (qsizetype index = 0; index < readings.size(); ++index) {
        const qint64 msecs = readings.msecsAt(index);
        if (msecs < from || msecs > to)
            continue;
        int c = std::min(columns - 1, int(double(msecs - from) * double(columns) / span));
        // The same columns as above, whatever the rounding.
        while (c + 1 < columns && start(c + 1) <= msecs)
            ++c;
        while (c > 0 && start(c) > msecs)
            --c;
        Column& column = byColumn[size_t(c)];
        const double value = readings.valueAt(index);
        if (column.first < 0) {
            column.first = column.lowest = column.highest = index;
        } else if (value < readings.valueAt(column.lowest)) {
            column.lowest = index;
        } else if (value > readings.valueAt(column.highest)) {
            column.highest = index;
        }
        column.last = index;
        ++column.count;
    }
    for (const Column& column : byColumn) {
        if (column.count > 0)
            addColumn(out, readings, column);
    }
    return out;
}
