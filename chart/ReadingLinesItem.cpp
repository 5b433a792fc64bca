// The chart's lines, drawn in the plot area from the points each series was reduced to.

#include "ReadingLinesItem.h"
#include "ChartWindow.h"
#include "SeriesStyle.h"

#include <QChart>
#include <QLineSeries>
#include <QPainter>
#include <QValueAxis>

ReadingLinesItem::ReadingLinesItem(const ChartWindow* window, QGraphicsItem* parent)
    : QGraphicsItem(parent), m_window(window)
{
    setZValue(50); // above the grid, below the hover mark
}

QRectF ReadingLinesItem::boundingRect() const
{
    return m_window->m_chart->plotArea();
}

void ReadingLinesItem::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    const QRectF plot = boundingRect();
    const double span = double(m_window->m_to - m_window->m_from);
    const double low = m_window->m_valueAxis->min();
    const double high = m_window->m_valueAxis->max();
    if (plot.isEmpty() || span <= 0 || high <= low)
        return;
    const double xScale = plot.width() / span;
    const double yScale = plot.height() / (high - low);
    const double from = double(m_window->m_from);
    painter->save();
    painter->setClipRect(plot);
    painter->setRenderHint(QPainter::Antialiasing);
    QPolygonF polyline;
    for (size_t series = 0; series < m_window->m_lines.size(); ++series) {
        const QLineSeries* line = m_window->m_lines[series];
        if (!line->isVisible())
            continue;
        const ColumnReduction& reduced = m_window->m_reduced[series];
        const QList<QPointF>& points = reduced.points;
        QPen pen = SeriesStyle::pen(int(series), LineWidth);
        pen.setCosmetic(true);
        // A reading alone in its segment is drawn as a dot, wide enough to be seen.
        QPen dot(pen.color(), PointWidth, Qt::SolidLine, Qt::RoundCap);
        dot.setCosmetic(true);
        // Each segment of the line on its own, so that no line is drawn across a break.
        qsizetype begin = 0;
        for (qsizetype segment = 0; segment <= reduced.segmentStarts.size(); ++segment) {
            const qsizetype end = segment < reduced.segmentStarts.size()
                                      ? reduced.segmentStarts[segment]
                                      : points.size();
            polyline.resize(end - begin);
            for (qsizetype i = begin; i < end; ++i)
                polyline[i - begin] = QPointF(plot.left() + (points[i].x() - from) * xScale,
                                              plot.bottom() - (points[i].y() - low) * yScale);
            if (polyline.size() == 1) {
                painter->setPen(dot);
                painter->drawPoint(polyline.first());
            } else if (polyline.size() > 1) {
                painter->setPen(pen);
                painter->drawPolyline(polyline);
            }
            begin = end;
        }
    }
    painter->restore();
}
