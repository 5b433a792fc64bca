#pragma once

#include <QAccessibleWidget>

#include <functional>

class ChartWindow;
class ReadingSeriesSet;

// What the chart says to assistive technology about its readings: for each series shown, its
// name, its count of readings, the latest value with its time (written as time stamps are),
// and the lowest and highest value; "No readings yet." while the chart has none (since it opened
// or since Clear), "No readings are shown." when every series with readings is hidden.
QString chartDescription(const ReadingSeriesSet& readings, const std::function<bool(int)>& shown);

// Installs, once, the accessibility factory that answers for every ChartWindow with a
// ChartAccessible. Called by the chart window itself when it is made.
void makeChartAccessible();

// The chart window as assistive technology sees it: a window named after its title whose
// description is chartDescription() of what it shows, made only when asked for.
class ChartAccessible : public QAccessibleWidget {
public:
    explicit ChartAccessible(ChartWindow* chart);

    QString text(QAccessible::Text type) const override;
};
