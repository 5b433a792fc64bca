#pragma once

#include <QGraphicsItem>

class ChartWindow;

// The lines of the series, drawn from their points reduced to the pixel columns. Qt Charts' own
// line series builds an outline of every line for hit-testing whenever its points change,
// about a microsecond a point (8 ms for the 6,500 points of three series across the window),
// which would take a repaint past a frame; so the chart keeps an empty QLineSeries per series
// for the legend, the colours and hiding, and the lines are drawn here.
class ReadingLinesItem : public QGraphicsItem {
public:
    ReadingLinesItem(const ChartWindow* window, QGraphicsItem* parent);

    // The chart's plot area.
    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) override;
    // The plot area has moved or changed its size.
    void plotAreaChanged() { prepareGeometryChange(); }

private:
    static constexpr double LineWidth = 1;
    static constexpr double PointWidth = 3;
    const ChartWindow* m_window = nullptr;
};
