// The chart's lines, drawn in the plot area from the points each series was reduced to.

#include "ReadingLinesItem.h"
#include "ChartWindow.h"

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
        const QList<QPointF>& points = m_window->m_reduced[series];
        polyline.resize(points.size());
        for (qsizetype i = 0; i < points.size(); ++i)
            polyline[i] = QPointF(plot.left() + (points[i].x() - from) * xScale,
                                  plot.bottom() - (points[i].y() - low) * yScale);
        QPen pen(line->color(), LineWidth);
        pen.setCosmetic(true);
        painter->setPen(pen);
        if (polyline.size() == 1)
            painter->drawPoint(polyline.first());
        else
            painter->drawPolyline(polyline);
    }
    painter->restore();
}
