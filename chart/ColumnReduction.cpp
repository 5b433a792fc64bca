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

// Adds the points of a reduction one by one, noting where a new segment of the line begins.
class PointSink {
public:
    PointSink(ColumnReduction& out, const ReadingList& readings) : m_out(out), m_readings(readings)
    {
    }

    void addPoint(qsizetype index)
    {
        const qsizetype segment = m_readings.segmentOf(index);
        if (!m_out.points.isEmpty() && segment != m_segment)
            m_out.segmentStarts.append(m_out.points.size());
        m_segment = segment;
        m_out.points.append(QPointF(double(m_readings.msecsAt(index)), m_readings.valueAt(index)));
    }

    void addColumn(const Column& column)
    {
        qsizetype indices[] = {column.first, column.lowest, column.highest, column.last};
        std::sort(std::begin(indices), std::end(indices));
        const auto end = std::unique(std::begin(indices), std::end(indices));
        for (auto it = std::begin(indices); it != end; ++it)
            addPoint(*it);
        const double low = m_readings.valueAt(column.lowest);
        const double high = m_readings.valueAt(column.highest);
        if (m_out.readingsInRange == 0 || low < m_out.lowest)
            m_out.lowest = low;
        if (m_out.readingsInRange == 0 || high > m_out.highest)
            m_out.highest = high;
        m_out.readingsInRange += column.count;
    }

private:
    ColumnReduction& m_out;
    const ReadingList& m_readings;
    qsizetype m_segment = 0;
};

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

    PointSink sink(out, readings);
    if (readings.isTimeOrdered()) {
        const qsizetype begin = readings.lowerBound(from);
        const qsizetype end = readings.upperBound(to);
        if (begin > 0)
            sink.addPoint(begin - 1);
        qsizetype columnBegin = begin;
        for (int c = 0; c < columns && columnBegin < end; ++c) {
            const qsizetype columnEnd =
                c + 1 == columns ? end : std::min(end, readings.lowerBound(start(c + 1)));
            // A column that a break runs through is taken a segment at a time.
            while (columnBegin < columnEnd) {
                const qsizetype pieceEnd = std::min(columnEnd, readings.segmentEnd(columnBegin));
                Column column;
                column.first = columnBegin;
                column.last = pieceEnd - 1;
                column.count = pieceEnd - columnBegin;
                std::tie(column.lowest, column.highest) = readings.extremes(columnBegin, pieceEnd);
                sink.addColumn(column);
                columnBegin = pieceEnd;
            }
        }
        if (end < readings.size())
            sink.addPoint(end);
        return out;
    }

    // The clock was set back while readings came: each reading finds its column by its time,
    // and the columns are drawn left to right, a segment of the line at a time.
    std::vector<Column> byColumn(static_cast<size_t>(columns));
    for (qsizetype segmentBegin = 0; segmentBegin < readings.size();) {
        const qsizetype segmentEnd = readings.segmentEnd(segmentBegin);
        std::fill(byColumn.begin(), byColumn.end(), Column());
        for (qsizetype index = segmentBegin; index < segmentEnd; ++index) {
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
                sink.addColumn(column);
        }
        segmentBegin = segmentEnd;
    }
    return out;
}
