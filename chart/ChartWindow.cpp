#include "ChartWindow.h"
#include "ChartAccessible.h"

#include <QAccessible>

#include "ColumnReduction.h"
#include "NiceRange.h"
#include "exchange/TimeStamp.h"
#include "exchange/ValueStripping.h"
#include "log/ResponseLogModel.h"

#include <QBuffer>
#include <QChart>
#include <QChartView>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGraphicsEllipseItem>
#include <QGraphicsLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRubberBand>
#include <QSaveFile>
#include <QStandardPaths>
#include <QToolTip>
#include <QVBoxLayout>
#include <QValueAxis>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace {

constexpr double ReduceAgainPixels = 8;
constexpr double HoverReachPixels = 8;
constexpr qint64 ShortestSpanMs = 10;
constexpr qint64 ShortestFollowedSpanMs = 2000;
constexpr qint64 EmptySpanMs = 60 * 1000;

// How the time axis labels its ticks: finer the shorter the span.
QString timeFormat(qint64 spanMs)
{
    if (spanMs <= 60 * 1000)
        return QStringLiteral("hh:mm:ss.zzz");
    if (spanMs <= 24 * 3600 * 1000)
        return QStringLiteral("hh:mm:ss");
    if (spanMs <= 366LL * 24 * 3600 * 1000)
        return QStringLiteral("MM/dd hh:mm");
    return QStringLiteral("MM/dd/yyyy");
}

} // namespace

// The lines of the series, drawn from their points reduced to the pixel columns. Qt Charts' own
// line series builds an outline of every line for hit-testing whenever its points change,
// about a microsecond a point (8 ms for the 6,500 points of three series across the window),
// which would take a repaint past a frame; so the chart keeps an empty QLineSeries per series
// for the legend, the colours and hiding, and the lines are drawn here.
class ReadingLinesItem : public QGraphicsItem {
public:
    ReadingLinesItem(ChartWindow* window, QGraphicsItem* parent)
        : QGraphicsItem(parent), m_window(window)
    {
        setZValue(50); // above the grid, below the hover mark
    }

    QRectF boundingRect() const override { return m_window->m_chart->plotArea(); }

    void paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) override
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

    void plotAreaChanged() { prepareGeometryChange(); }

private:
    static constexpr double LineWidth = 1;
    ChartWindow* m_window;
};

// The chart's view: the wheel zooms the time axis around the pointer; dragging on the time
// axis (below the plot) or with the middle button pans it; dragging in the plot draws the band
// to zoom to; hovering shows the nearest reading.
class ReadingsChartView : public QChartView {
public:
    ReadingsChartView(QChart* chart, ChartWindow* window) : QChartView(chart), m_window(window)
    {
        setRenderHint(QPainter::Antialiasing);
        setRubberBand(QChartView::HorizontalRubberBand);
        setMouseTracking(true);
        setFocusPolicy(Qt::StrongFocus);
    }

protected:
    void wheelEvent(QWheelEvent* event) override
    {
        const double steps = event->angleDelta().y() / 120.0;
        if (steps != 0)
            m_window->zoomAt(mapToScene(event->position().toPoint()).x(), std::pow(0.8, steps));
        event->accept();
    }

    void mousePressEvent(QMouseEvent* event) override
    {
        const QPointF scene = mapToScene(event->position().toPoint());
        const QRectF plot = chart()->mapRectToScene(chart()->plotArea());
        // Below the plot, but not on the legend, whose entries are clicked to hide a series.
        const QRectF legend = chart()->mapRectToScene(chart()->legend()->geometry());
        const bool onTimeAxis = scene.y() > plot.bottom() && scene.x() >= plot.left() &&
                                scene.x() <= plot.right() &&
                                !(chart()->legend()->isVisible() && legend.contains(scene));
        if (event->button() == Qt::MiddleButton ||
            (event->button() == Qt::LeftButton && onTimeAxis)) {
            m_panFrom = event->position().x();
            m_panning = true;
            setCursor(Qt::ClosedHandCursor);
            event->accept();
            return;
        }
        QChartView::mousePressEvent(event);
    }

    void mouseMoveEvent(QMouseEvent* event) override
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

    void mouseReleaseEvent(QMouseEvent* event) override
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
            m_window->zoomTo(
                mapToScene(inViewport(drawn.topLeft())).x(),
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

    void leaveEvent(QEvent* event) override
    {
        m_window->endHover();
        QChartView::leaveEvent(event);
    }

    void keyPressEvent(QKeyEvent* event) override
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

    void resizeEvent(QResizeEvent* event) override
    {
        QChartView::resizeEvent(event);
        m_window->viewResized();
    }

    void paintEvent(QPaintEvent* event) override
    {
        QChartView::paintEvent(event);
        emit m_window->painted();
    }

private:
    ChartWindow* m_window;
    double m_panFrom = 0;
    bool m_panning = false;
};

ChartWindow::ChartWindow(const ResponseLogModel& log, QWidget* owner)
    : QWidget(owner, Qt::Window), m_log(log)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Chart of Readings"));
    makeChartAccessible();

    m_chart = new QChart;
    m_chart->setAnimationOptions(QChart::NoAnimation);
    m_chart->legend()->setAlignment(Qt::AlignBottom);
    m_timeAxis = new QDateTimeAxis(m_chart);
    m_timeAxis->setTickCount(6);
    m_valueAxis = new QValueAxis(m_chart);
    m_valueAxis->setLabelFormat(QStringLiteral("%.6g"));
    m_chart->addAxis(m_timeAxis, Qt::AlignBottom);
    m_chart->addAxis(m_valueAxis, Qt::AlignLeft);
    m_hoverMark = new QGraphicsEllipseItem(-4, -4, 8, 8, m_chart);
    m_hoverMark->setZValue(100);
    m_hoverMark->setPen(QPen(Qt::black, 1.5));
    m_hoverMark->hide();
    m_linesItem = new ReadingLinesItem(this, m_chart);

    m_view = new ReadingsChartView(m_chart, this);
    m_followButton = new QPushButton(QStringLiteral("&Follow Newest"), this);
    m_followButton->setCheckable(true);
    m_followButton->setChecked(true);
    m_followButton->setToolTip(QStringLiteral("Show every reading and keep the newest in view"));
    m_saveButton = new QPushButton(QStringLiteral("&Save as PNG\u2026"), this);
    auto* hint = new QLabel(QStringLiteral("Wheel: zoom \u00b7 drag in the chart: zoom to a span "
                                           "\u00b7 drag the time axis: pan \u00b7 right click: "
                                           "zoom out \u00b7 click a legend entry: hide or show"),
                            this);
    hint->setWordWrap(true);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(hint, 1);
    buttons->addWidget(m_followButton);
    buttons->addWidget(m_saveButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_view, 1);
    layout->addLayout(buttons);
    resize(860, 520);

    connect(m_followButton, &QPushButton::clicked, this, &ChartWindow::follow);
    connect(m_saveButton, &QPushButton::clicked, this, &ChartWindow::askForPngFile);
    connect(m_chart, &QChart::plotAreaChanged, this, [this](const QRectF& plot) {
        // The lines are placed in the plot as it stands when painted; they are reduced afresh
        // when the plot's width has changed by more than a few columns (not when the labels of
        // an axis take a little more or less room).
        m_linesItem->plotAreaChanged();
        if (std::abs(plot.width() - m_reducedWidth) > ReduceAgainPixels)
            scheduleUpdate();
    });
    connect(&m_log, &QAbstractItemModel::modelReset, this, &ChartWindow::clearChart);
    m_updateTimer.setSingleShot(true);
    connect(&m_updateTimer, &QTimer::timeout, this, &ChartWindow::updateNow);

    updateNow();
}

ChartWindow::~ChartWindow() = default;

QChartView* ChartWindow::chartView() const
{
    return m_view;
}

void ChartWindow::scheduleUpdate()
{
    // Whatever comes before the timer fires is drawn with it.
    if (!m_updateTimer.isActive())
        m_updateTimer.start(RedrawIntervalMs);
}

void ChartWindow::viewResized()
{
    // The chart has its new size: lay it out now, so that the lines are reduced for the plot
    // as it will be painted, the first time too.
    if (QGraphicsLayout* layout = m_chart->layout())
        layout->activate();
    if (std::abs(m_chart->plotArea().width() - m_reducedWidth) > ReduceAgainPixels)
        updateNow();
}

void ChartWindow::updateNow()
{
    m_updateTimer.stop();
    takeNewRows();
    redraw();
    watchForRows();
}

void ChartWindow::watchForRows()
{
    // Only the first row after an update is heard: the rows that follow it are taken together
    // at the update, and the reply loop pays nothing for them here. A row's Response is set
    // right after the row is added, so it is there when the row is taken.
    if (m_watchingRows)
        return;
    m_watchingRows = true;
    connect(
        &m_log, &QAbstractItemModel::rowsInserted, this,
        [this] {
            m_watchingRows = false;
            scheduleUpdate();
        },
        Qt::SingleShotConnection);
}

void ChartWindow::descriptionChanged()
{
    // Assistive technology asks for the description afresh; nobody pays while none listens.
    if (QAccessible::isActive()) {
        QAccessibleEvent event(this, QAccessible::DescriptionChanged);
        QAccessible::updateAccessibility(&event);
    }
}

void ChartWindow::takeNewRows()
{
    const qsizetype readingsBefore = m_readings.readingCount();
    m_log.visitRows(m_rowsTaken, [this](RowStamp stamp, QStringView command, QStringView response) {
        m_readings.addRow(stamp.kind(), command, response, stamp.msecsSinceEpoch());
    });
    m_rowsTaken = m_log.rowCount();
    // While the readings just taken are in the cache.
    for (int series = 0; series < m_readings.count(); ++series)
        m_readings.series(series).readings.summarizeFullBlocks();
    for (int series = int(m_lines.size()); series < m_readings.count(); ++series)
        addLine(series);
    if (m_readings.readingCount() != readingsBefore)
        descriptionChanged();
}

void ChartWindow::addLine(int series)
{
    auto* line = new QLineSeries(m_chart);
    line->setName(readings().series(series).name);
    // The series holds no points and is not attached to the axes: attaching one has the chart
    // work out ranges and lay out both axes afresh, over a millisecond each time.
    m_chart->addSeries(line);
    m_lines.push_back(line);
    m_reduced.emplace_back();
    for (QLegendMarker* marker : m_chart->legend()->markers(line))
        connect(marker, &QLegendMarker::clicked, this, [this, series] { toggleSeries(series); });
}

void ChartWindow::clearChart()
{
    m_updateTimer.stop();
    m_readings.clear();
    m_rowsTaken = 0;
    m_chart->removeAllSeries();
    m_lines.clear();
    m_reduced.clear();
    endHover();
    m_following = true;
    m_followButton->setChecked(true);
    updateNow();
    descriptionChanged();
}

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
    if (to - from < ShortestSpanMs) {
        const qint64 middle = from + (to - from) / 2;
        from = middle - ShortestSpanMs / 2;
        to = from + ShortestSpanMs;
    }
    m_from = from;
    m_to = to;
    showRangeOnAxis();
}

void ChartWindow::showRangeOnAxis()
{
    m_timeAxis->setFormat(timeFormat(m_to - m_from));
    m_timeAxis->setRange(QDateTime::fromMSecsSinceEpoch(m_from),
                         QDateTime::fromMSecsSinceEpoch(m_to));
}

void ChartWindow::showTimeRange(qint64 from, qint64 to)
{
    m_following = false;
    m_followButton->setChecked(false);
    setTimeRange(from, to);
    redraw();
}

void ChartWindow::follow()
{
    m_following = true;
    m_followButton->setChecked(true);
    redraw();
}

void ChartWindow::redraw()
{
    if (m_following) {
        const auto [from, to] = followedRange();
        setTimeRange(from, to);
    }
    const QRectF plot = m_chart->plotArea();
    const int columns = std::max(1, int(std::ceil(plot.width())));
    m_reducedWidth = plot.width();
    bool any = false;
    double lowest = 0;
    double highest = 0;
    for (int series = 0; series < lineCount(); ++series) {
        QLineSeries* line = m_lines[size_t(series)];
        if (!line->isVisible())
            continue;
        ColumnReduction reduced =
            reduceToColumns(readings().series(series).readings, m_from, m_to, columns);
        m_reduced[size_t(series)] = std::move(reduced.points);
        if (reduced.readingsInRange == 0)
            continue;
        lowest = any ? std::min(lowest, reduced.lowest) : reduced.lowest;
        highest = any ? std::max(highest, reduced.highest) : reduced.highest;
        any = true;
    }
    showRangeOnAxis();
    if (any)
        fitValueAxis(lowest, highest);
    // The axes lay out their new labels now, so that one paint shows them with the lines.
    if (QGraphicsLayout* layout = m_chart->layout())
        layout->activate();
    m_linesItem->update();
    // What the pointer rests on may have moved, or a nearer reading come.
    if (m_hovering)
        hoverAt(m_hoverViewPos, m_hoverGlobalPos);
    emit redrawn();
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

void ChartWindow::toggleSeries(int series)
{
    QLineSeries* line = m_lines[size_t(series)];
    line->setVisible(!line->isVisible());
    // A hidden series keeps its legend entry, dimmed, so that it can be shown again.
    for (QLegendMarker* marker : m_chart->legend()->markers(line)) {
        marker->setVisible(true);
        const qreal alpha = line->isVisible() ? 1.0 : 0.35;
        QColor label = m_chart->legend()->labelColor();
        label.setAlphaF(alpha);
        marker->setLabelBrush(label);
        QColor colour = line->color();
        colour.setAlphaF(alpha);
        marker->setBrush(colour);
        marker->setPen(QPen(colour));
    }
    redraw();
    descriptionChanged();
}

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
    m_hoverMark->setBrush(m_lines[size_t(nearest.series)]->color());
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
    const double span = double(m_to - m_from);
    const double at = double(m_from) + share * span;
    const double newSpan = std::max(double(ShortestSpanMs), span * factor);
    const auto from = qint64(std::llround(at - share * newSpan));
    showTimeRange(from, from + qint64(std::llround(newSpan)));
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
    const auto shift = qint64(std::llround(pixels * double(m_to - m_from) / width));
    showTimeRange(m_from - shift, m_to - shift);
}

void ChartWindow::askForPngFile()
{
    if (!m_pngDialog) {
        // One dialog for the chart's lifetime; it remembers the folder chosen last. Modal to
        // this window only, so that the terminal goes on reading and logging meanwhile.
        m_pngDialog = new QFileDialog(this, QStringLiteral("Save the Chart as PNG"));
        m_pngDialog->setOption(QFileDialog::DontUseNativeDialog);
        m_pngDialog->setOption(QFileDialog::DontConfirmOverwrite); // asked below, without nesting
        m_pngDialog->setAcceptMode(QFileDialog::AcceptSave);
        m_pngDialog->setFileMode(QFileDialog::AnyFile);
        m_pngDialog->setNameFilter(QStringLiteral("PNG Images (*.png)"));
        m_pngDialog->setDefaultSuffix(QStringLiteral("png"));
        QString folder = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
        if (folder.isEmpty() || !QFileInfo(folder).isDir())
            folder = QDir::homePath();
        m_pngDialog->setDirectory(folder);
        m_pngDialog->selectFile(QStringLiteral("readings.png"));
        connect(m_pngDialog, &QFileDialog::fileSelected, this, [this](const QString& path) {
            if (path.isEmpty())
                return;
            if (!QFileInfo::exists(path)) {
                writePng(path);
                return;
            }
            auto* question =
                new QMessageBox(QMessageBox::Question, QStringLiteral("Save the Chart as PNG"),
                                QStringLiteral("%1 already exists. Do you want to replace it?")
                                    .arg(QDir::toNativeSeparators(path)),
                                QMessageBox::Yes | QMessageBox::No, this);
            question->setAttribute(Qt::WA_DeleteOnClose);
            question->setDefaultButton(QMessageBox::No);
            connect(question, &QMessageBox::finished, this, [this, path](int answer) {
                if (answer == QMessageBox::Yes)
                    writePng(path);
            });
            question->open();
        });
    }
    m_pngDialog->open();
}

void ChartWindow::writePng(const QString& path)
{
    const QString failure = savePng(path);
    if (failure.isEmpty())
        return;
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Save the Chart as PNG"),
                                failure, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

QString ChartWindow::savePng(const QString& path) const
{
    const QString shown = QDir::toNativeSeparators(path);
    const QFileInfo target(path);
    // Only a plain file is written: a pipe or a device could hold the window for ever.
    if (target.exists() && !target.isFile())
        return QStringLiteral("The chart was not saved: %1 is not a plain file.").arg(shown);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!m_view->grab().save(&buffer, "PNG"))
        return QStringLiteral("The chart was not saved: it could not be turned into a PNG image.");
    // Written to a new file beside it and renamed, so that a failure leaves the old file whole.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(png) != png.size() || !file.commit())
        return QStringLiteral("The chart was not saved to %1: %2.").arg(shown, file.errorString());
    return QString();
}
