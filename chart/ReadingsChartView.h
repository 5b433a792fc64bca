#pragma once

#include <QChartView>

class ChartWindow;

// The chart's view: the wheel zooms the time axis around the pointer; dragging on the time
// axis (below the plot) or with the middle button pans it; dragging in the plot draws the band
// to zoom to; hovering shows the nearest reading.
class ReadingsChartView : public QChartView {
public:
    ReadingsChartView(QChart* chart, ChartWindow* window);

protected:
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    ChartWindow* m_window = nullptr;
    double m_panFrom = 0;
    bool m_panning = false;
};
