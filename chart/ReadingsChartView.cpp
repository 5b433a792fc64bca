// The chart's view: what the wheel, the mouse buttons and the keys do in it.

#include "ReadingsChartView.h"
#include "ChartWindow.h"

#include <QChart>
#include <QLegend>
#include <QMouseEvent>
#include <QRubberBand>
#include <QWheelEvent>

#include <cmath>

ReadingsChartView::ReadingsChartView(QChart* chart, ChartWindow* window)
    : QChartView(chart), m_window(window)
{
    setRenderHint(QPainter::Antialiasing);
    setRubberBand(QChartView::HorizontalRubberBand);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
}

void ReadingsChartView::wheelEvent(QWheelEvent* event)
{
    const double steps = event->angleDelta().y() / 120.0;
    if (steps != 0)
        m_window->zoomAt(mapToScene(event->position().toPoint()).x(), std::pow(0.8, steps));
    event->accept();
}

void ReadingsChartView::mousePressEvent(QMouseEvent* event)
{
    const QPointF scene = mapToScene(event->position().toPoint());
    const QRectF plot = chart()->mapRectToScene(chart()->plotArea());
    // Below the plot, but not on the legend, whose entries are clicked to hide a series.
    const QRectF legend = chart()->mapRectToScene(chart()->legend()->geometry());
    const bool onTimeAxis = scene.y() > plot.bottom() && scene.x() >= plot.left() &&
                            scene.x() <= plot.right() &&
                            !(chart()->legend()->isVisible() && legend.contains(scene));
    if (event->button() == Qt::MiddleButton || (event->button() == Qt::LeftButton && onTimeAxis)) {
        m_panFrom = event->position().x();
        m_panning = true;
        setCursor(Qt::ClosedHandCursor);
        event->accept();
        return;
    }
    QChartView::mousePressEvent(event);
}

void ReadingsChartView::mouseMoveEvent(QMouseEvent* event)
{
    if (m_panning) {
        m_window->panBy(event->position().x() - m_panFrom);
        m_panFrom = event->position().x();
        event->accept();
        return;
    }
    m_window->hoverAt(event->position().toPoint(), event->globalPosition().toPoint());
    QChartView::mouseMoveEvent(event);
}

void ReadingsChartView::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_panning) {
        m_panning = false;
        unsetCursor();
        event->accept();
        return;
    }
    // The band zooms in to its times, a right click zooms out to twice the span. Both are
    // done here: the chart view's own zooming acts through the series' axes, and the
    // series are not attached to them (see addLine).
    auto* band = findChild<QRubberBand*>();
    if (event->button() == Qt::LeftButton && band && band->isVisible()) {
        band->hide();
        // The band's place in the view's viewport, whichever of the two holds it.
        const QRect drawn = band->geometry();
        const auto inViewport = [&](const QPoint& at) {
            return viewport()->mapFromGlobal(band->parentWidget()->mapToGlobal(at));
        };
        // Its right edge is where its last pixel ends, the pixel released on.
        m_window->zoomTo(mapToScene(inViewport(drawn.topLeft())).x(),
                         mapToScene(inViewport(drawn.topLeft() + QPoint(drawn.width(), 0))).x());
        event->accept();
        return;
    }
    if (event->button() == Qt::RightButton) {
        m_window->zoomAt(chart()->mapRectToScene(chart()->plotArea()).center().x(), 2.0);
        event->accept();
        return;
    }
    QChartView::mouseReleaseEvent(event);
}

void ReadingsChartView::leaveEvent(QEvent* event)
{
    m_window->endHover();
    QChartView::leaveEvent(event);
}

void ReadingsChartView::keyPressEvent(QKeyEvent* event)
{
    const QRectF plot = chart()->mapRectToScene(chart()->plotArea());
    switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        m_window->zoomAt(plot.center().x(), 0.5);
        break;
    case Qt::Key_Minus:
        m_window->zoomAt(plot.center().x(), 2.0);
        break;
    case Qt::Key_Left:
        m_window->panBy(plot.width() / 4);
        break;
    case Qt::Key_Right:
        m_window->panBy(-plot.width() / 4);
        break;
    case Qt::Key_End:
        m_window->follow();
        break;
    default:
        QChartView::keyPressEvent(event);
    }
}

void ReadingsChartView::resizeEvent(QResizeEvent* event)
{
    QChartView::resizeEvent(event);
    m_window->viewResized();
}

void ReadingsChartView::paintEvent(QPaintEvent* event)
{
    QChartView::paintEvent(event);
    emit m_window->painted();
}
