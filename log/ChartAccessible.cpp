#include "ChartAccessible.h"

#include "ChartWindow.h"
#include "ReadingSeries.h"
#include "exchange/TimeStamp.h"
#include "exchange/ValueStripping.h"

#include <QDateTime>
#include <QLineSeries>
#include <QStringList>

#include <algorithm>

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
    double lowest = list.valueAt(0);
    double highest = lowest;
    for (qsizetype at = 0; at < list.size();) {
        const qsizetype count = list.contiguousFrom(at);
        const double* values = list.valuesFrom(at);
        const auto [low, high] = std::minmax_element(values, values + count);
        lowest = std::min(lowest, *low);
        highest = std::max(highest, *high);
        at += count;
    }
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
