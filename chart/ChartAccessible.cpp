// The chart as assistive technology reads it: a window named after its title whose description
// tells, for each series shown, its count of readings, the latest, the lowest and the highest.

#include "ChartAccessible.h"

#include "ChartWindow.h"
#include "ReadingSeries.h"
#include "exchange/TimeStamp.h"
#include "exchange/ValueStripping.h"

#include <QDateTime>
#include <QLineSeries>
#include <QStringList>

namespace {

QAccessibleInterface* chartFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String(ChartWindow::staticMetaObject.className()) &&
        object->isWidgetType())
        return new ChartAccessible(static_cast<ChartWindow*>(object));
    return nullptr;
}

QString seriesDescription(const ReadingSeries& series)
{
    const ReadingList& list = series.readings;
    // From the summaries of blocks of readings: a look at every 64th reading.
    const auto [lowestAt, highestAt] = list.extremes(0, list.size());
    const double lowest = list.valueAt(lowestAt);
    const double highest = list.valueAt(highestAt);
    const Reading latest = list.at(list.size() - 1);
    return QStringLiteral("%1: %2 %3, latest %4 at %5, lowest %6, highest %7.")
        .arg(series.name)
        .arg(list.size())
        .arg(list.size() == 1 ? QStringLiteral("reading") : QStringLiteral("readings"))
        .arg(formatNumber(latest.value),
             timeStampText(QDateTime::fromMSecsSinceEpoch(latest.msecs)), formatNumber(lowest),
             formatNumber(highest));
}

} // namespace

QString chartDescription(const ReadingSeriesSet& readings, const std::function<bool(int)>& shown)
{
    if (readings.readingCount() == 0)
        return QStringLiteral("No readings yet.");
    QStringList parts;
    for (int index = 0; index < readings.count(); ++index) {
        if (shown(index) && !readings.series(index).readings.isEmpty())
            parts << seriesDescription(readings.series(index));
    }
    return parts.isEmpty() ? QStringLiteral("No readings are shown.")
                           : parts.join(QLatin1Char(' '));
}

void makeChartAccessible()
{
    static const bool installed = [] {
        QAccessible::installFactory(chartFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

ChartAccessible::ChartAccessible(ChartWindow* chart) : QAccessibleWidget(chart, QAccessible::Window)
{
}

QString ChartAccessible::text(QAccessible::Text type) const
{
    const auto* chart = static_cast<const ChartWindow*>(widget());
    if (type == QAccessible::Name)
        return chart->windowTitle();
    if (type == QAccessible::Description) {
        return chartDescription(chart->readings(), [chart](int series) {
            return series < chart->lineCount() && chart->line(series)->isVisible();
        });
    }
    return QAccessibleWidget::text(type);
}
