// What the pointer does in the chart: hovering shows the nearest reading, and the wheel, the
// band, a right click and dragging zoom and pan the time axis (ReadingsChartView passes them on).

#include "ChartWindow.h"
#include "SeriesStyle.h"
#include "TimeView.h"
#include "exchange/TimeStamp.h"
#include "exchange/ValueStripping.h"

#include <QChart>
#include <QChartView>
#include <QDateTime>
#include <QGraphicsEllipseItem>
#include <QLineSeries>
#include <QToolTip>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

constexpr double HoverReachPixels = 8;

} // namespace

ChartWindow::PlotMapping ChartWindow::plotMapping() const
{
    PlotMapping mapping;
    mapping.plot = m_chart->mapRectToScene(m_chart->plotArea());
    mapping.from = double(m_from);
    mapping.xScale = m_to > m_from ? mapping.plot.width() / double(m_to - m_from) : 0;
    mapping.low = m_valueAxis->min();
    const double high = m_valueAxis->max();
    mapping.yScale = high > mapping.low ? mapping.plot.height() / (high - mapping.low) : 0;
    return mapping;
}

QPointF ChartWindow::PlotMapping::scenePosition(const Reading& reading) const
{
    return {plot.left() + (double(reading.msecs) - from) * xScale,
            plot.bottom() - (reading.value - low) * yScale};
}

ChartWindow::Nearest ChartWindow::nearestReading(const QPointF& scenePos) const
{
    const PlotMapping mapping = plotMapping();
    const QRectF& plot = mapping.plot;
    if (plot.width() <= 0 || m_to <= m_from ||
        !plot.adjusted(-HoverReachPixels, -HoverReachPixels, HoverReachPixels, HoverReachPixels)
             .contains(scenePos))
        return {};
    const double msPerPixel = double(m_to - m_from) / plot.width();
    const double atMs = double(m_from) + (scenePos.x() - plot.left()) * msPerPixel;
    const auto reachFrom = qint64(std::floor(atMs - HoverReachPixels * msPerPixel));
    const auto reachTo = qint64(std::ceil(atMs + HoverReachPixels * msPerPixel));
    Nearest nearest;
    double best = 0;
    for (int series = 0; series < lineCount(); ++series) {
        if (!m_lines[size_t(series)]->isVisible())
            continue;
        const ReadingList& list = readings().series(series).readings;
        qsizetype begin = 0;
        qsizetype end = list.size();
        if (list.isTimeOrdered()) {
            // The readings within reach of the pointer, and the nearest one on each side.
            begin = std::max<qsizetype>(0, list.lowerBound(reachFrom) - 1);
            end = std::min(list.size(), list.upperBound(reachTo) + 1);
        }
        for (qsizetype index = begin; index < end; ++index) {
            const QPointF at = mapping.scenePosition(list.at(index));
            const double distance = QLineF(at, scenePos).length();
            if (nearest.series < 0 || distance < best) {
                nearest = {series, index};
                best = distance;
            }
        }
    }
    return nearest;
}

QString ChartWindow::hoverText(const QPoint& viewPos) const
{
    const Nearest nearest = nearestReading(m_view->mapToScene(viewPos));
    if (nearest.series < 0)
        return QString();
    const ReadingSeries& series = readings().series(nearest.series);
    const Reading reading = series.readings.at(nearest.index);
    return series.name + QLatin1Char('\n') +
           timeStampText(QDateTime::fromMSecsSinceEpoch(reading.msecs)) + QLatin1Char('\n') +
           formatNumber(reading.value);
}

void ChartWindow::hoverAt(const QPoint& viewPos, const QPoint& globalPos)
{
    const Nearest nearest = nearestReading(m_view->mapToScene(viewPos));
    if (nearest.series < 0) {
        endHover();
        return;
    }
    m_hovering = true;
    m_hoverViewPos = viewPos;
    m_hoverGlobalPos = globalPos;
    const Reading reading = readings().series(nearest.series).readings.at(nearest.index);
    m_hoverMark->setPos(m_chart->mapFromScene(plotMapping().scenePosition(reading)));
    m_hoverMark->setBrush(SeriesStyle::colour(nearest.series));
    m_hoverMark->show();
    QToolTip::showText(globalPos, hoverText(viewPos), m_view);
}

void ChartWindow::endHover()
{
    m_hoverMark->hide();
    // Only a tip of the chart's own is hidden, not one the terminal's window shows.
    if (std::exchange(m_hovering, false))
        QToolTip::hideText();
}

void ChartWindow::zoomAt(double sceneX, double factor)
{
    const QRectF plot = m_chart->mapRectToScene(m_chart->plotArea());
    if (plot.width() <= 0)
        return;
    const double share = std::clamp((sceneX - plot.left()) / plot.width(), 0.0, 1.0);
    const auto [from, to] = zoomedTimeView({m_from, m_to}, share, factor);
    showTimeRange(from, to);
}

void ChartWindow::zoomTo(double sceneLeft, double sceneRight)
{
    const QRectF plot = m_chart->mapRectToScene(m_chart->plotArea());
    if (plot.width() <= 0 || sceneRight <= sceneLeft)
        return;
    const double msPerPixel = double(m_to - m_from) / plot.width();
    const auto timeAt = [&](double sceneX) {
        return m_from +
               qint64(std::llround((std::clamp(sceneX, plot.left(), plot.right()) - plot.left()) *
                                   msPerPixel));
    };
    showTimeRange(timeAt(sceneLeft), timeAt(sceneRight));
}

void ChartWindow::panBy(double pixels)
{
    const double width = m_chart->plotArea().width();
    if (width <= 0)
        return;
    // Dragged to the right, earlier times come into view.
    const auto [from, to] = pannedTimeView({m_from, m_to}, -pixels * double(m_to - m_from) / width);
    showTimeRange(from, to);
}
