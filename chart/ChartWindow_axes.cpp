// The chart's axes: the times followed or shown, the time axis' ticks on round times, and the
// value axis fitted to the readings shown, with round ends.

#include "ChartWindow.h"
#include "NiceRange.h"
#include "TimeTicks.h"
#include "TimeView.h"

#include <QCategoryAxis>
#include <QChart>
#include <QDateTime>
#include <QFontMetricsF>
#include <QLineSeries>
#include <QLocale>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <limits>
#include <tuple>

namespace {

constexpr qint64 ShortestFollowedSpanMs = 2000;
constexpr qint64 EmptySpanMs = 60 * 1000;

} // namespace

std::pair<qint64, qint64> ChartWindow::followedRange() const
{
    bool any = false;
    qint64 earliest = 0;
    qint64 latest = 0;
    for (int pass = 0; pass < 2 && !any; ++pass) {
        // The series shown; when all are hidden, all of them.
        for (int series = 0; series < lineCount(); ++series) {
            const ReadingList& list = readings().series(series).readings;
            if (list.isEmpty() || (pass == 0 && !m_lines[size_t(series)]->isVisible()))
                continue;
            earliest = any ? std::min(earliest, list.earliest()) : list.earliest();
            latest = any ? std::max(latest, list.latest()) : list.latest();
            any = true;
        }
    }
    if (!any) {
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        return {now - EmptySpanMs, now};
    }
    // A few readings close together are shown amid a span of a few seconds.
    const qint64 missing = ShortestFollowedSpanMs - (latest - earliest);
    if (missing > 0)
        return {earliest - missing / 2, latest + (missing - missing / 2)};
    return {earliest, latest};
}

void ChartWindow::setTimeRange(qint64 from, qint64 to)
{
    std::tie(m_from, m_to) = boundedTimeView(from, to);
    showRangeOnAxis();
}

void ChartWindow::showRangeOnAxis()
{
    std::vector<TimeTick> ticks =
        timeTicks(m_from, m_to, m_chart->plotArea().width(),
                  QFontMetricsF(m_timeAxis->labelsFont()).horizontalAdvance(QLatin1Char('0')),
                  timeStampSeparators(QLocale()));
    // The axis is told only of new ticks: while following, they stay for many redraws.
    const auto sameTick = [](const TimeTick& a, const TimeTick& b) {
        return a.msecs == b.msecs && a.label == b.label;
    };
    if (!std::equal(ticks.begin(), ticks.end(), m_timeTicks.begin(), m_timeTicks.end(), sameTick)) {
        for (const QString& label : m_timeAxis->categoriesLabels())
            m_timeAxis->remove(label);
        // A grid line is drawn where each category starts and where the last one ends. The
        // first category starts before any view that shows the first tick, so that the lines
        // fall on the ticks, once each.
        if (!ticks.empty())
            m_timeAxis->setStartValue(
                double(ticks.front().msecs - TimeViewBounds::LongestSpan - 1));
        // The axis knows its ticks by their labels. A time that the clock shows twice (when it
        // is set back in the autumn) is told apart by zero-width spaces, which show nothing.
        QStringList labels;
        for (const TimeTick& tick : ticks) {
            QString label = tick.label;
            while (labels.contains(label))
                label += QChar(0x200B);
            m_timeAxis->append(label, double(tick.msecs));
            labels << label;
        }
        m_timeTicks = std::move(ticks);
    }
    m_timeAxis->setRange(double(m_from), double(m_to));
}

void ChartWindow::fitValueAxis(double lowest, double highest)
{
    // Halves taken apart, so that readings near the largest doubles do not overflow.
    double margin = highest * 0.05 - lowest * 0.05;
    if (margin == 0)
        margin = lowest == 0 ? 1 : std::abs(lowest) * 0.05;
    // The axis ends within the doubles, and spans no more than the largest: its labels and the
    // lines are placed by its span. Near the largest doubles the margin shrinks to fit.
    constexpr double largest = std::numeric_limits<double>::max();
    if (const double span = highest - lowest; std::isfinite(span))
        margin = std::min(margin, (largest - span) * 0.45);
    double low = std::max(lowest - margin, -largest);
    double high = std::min(highest + margin, largest);
    if (!(low < high)) {
        // A margin too small for a double (readings next to zero): a span of 2 around them.
        low = lowest - 1;
        high = highest + 1;
    }
    // Ticks at round values. The axis is told only of a change: each change has it lay out its
    // labels afresh, which costs more than reducing the lines.
    const NiceRange nice = niceRange(low, high);
    if (nice.min != m_valueAxis->min() || nice.max != m_valueAxis->max())
        m_valueAxis->setRange(nice.min, nice.max);
    if (nice.ticks != m_valueAxis->tickCount())
        m_valueAxis->setTickCount(nice.ticks);
}
