// The chart window: its parts and layout, taking the log's rows in, and drawing them afresh
// (hiding a series, saying when there are no readings). The axes' ranges and ticks are in
// ChartWindow_axes.cpp, what the pointer does in ChartWindow_pointer.cpp, saving the image in
// ChartWindow_png.cpp.

#include "ChartWindow.h"
#include "ChartAccessible.h"
#include "ChartPlacement.h"
#include "ColumnReduction.h"
#include "ReadingLinesItem.h"
#include "ReadingsChartView.h"
#include "SeriesStyle.h"
#include "TimeTicks.h"
#include "log/ResponseLogModel.h"

#include <QCategoryAxis>
#include <QChart>
#include <QGraphicsEllipseItem>
#include <QGraphicsLayout>
#include <QGraphicsRectItem>
#include <QGraphicsSimpleTextItem>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

constexpr std::pair<double, double> EmptyValueRange{0, 1};
const QSize FirstSize(860, 520); // or the screen's available area, where that is smaller
// The least chart that opens beside the terminal, or beside its log, in a room too small for
// its first size; with less room there it opens at its first size over the terminal.
const QSize LeastBesideSize(480, 280);
constexpr double ReduceAgainPixels = 8;
constexpr qreal LegendLineWidth = 2;

} // namespace

ChartWindow::ChartWindow(const ResponseLogModel& log, const QWidget* terminal,
                         const QWidget* keepClear)
    : QWidget(nullptr, Qt::Window), m_log(log)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Chart of Readings"));
    if (terminal)
        setWindowIcon(terminal->windowIcon());
    makeChartAccessible();

    m_chart = new QChart;
    m_chart->setAnimationOptions(QChart::NoAnimation);
    // The theme paints the background with a gradient from white to white: filling the rounded
    // box with a gradient has Qt's image threads woken for every redraw, a plain white one not.
    m_chart->setBackgroundBrush(Qt::white);
    m_chart->legend()->setAlignment(Qt::AlignBottom);
    // Each entry shows a piece of its series' line: its colour and its mark.
    m_chart->legend()->setMarkerShape(QLegend::MarkerShapeFromSeries);
    // Ticks at round times (TimeTicks), which a date-time axis cannot place: a category axis
    // with a category ending at each tick, labelled there.
    m_timeAxis = new QCategoryAxis(m_chart);
    m_timeAxis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    m_valueAxis = new QValueAxis(m_chart);
    m_valueAxis->setLabelFormat(QStringLiteral("%.6g"));
    m_chart->addAxis(m_timeAxis, Qt::AlignBottom);
    m_chart->addAxis(m_valueAxis, Qt::AlignLeft);
    m_hoverMark = new QGraphicsEllipseItem(-4, -4, 8, 8, m_chart);
    m_hoverMark->setZValue(100);
    m_hoverMark->setPen(QPen(Qt::black, 1.5));
    m_hoverMark->hide();
    m_linesItem = new ReadingLinesItem(this, m_chart);
    // On a box of the chart's background, so that the grid does not run through it.
    m_emptyNotice = new QGraphicsRectItem(m_chart);
    m_emptyNotice->setZValue(60);
    m_emptyNotice->setPen(Qt::NoPen);
    m_emptyNotice->setBrush(m_chart->backgroundBrush());
    auto* noticeText =
        new QGraphicsSimpleTextItem(QStringLiteral("No readings yet"), m_emptyNotice);
    QFont noticeFont = noticeText->font();
    if (noticeFont.pointSizeF() > 0)
        noticeFont.setPointSizeF(noticeFont.pointSizeF() * 1.25);
    else
        noticeFont.setPixelSize(noticeFont.pixelSize() * 5 / 4);
    noticeText->setFont(noticeFont);
    noticeText->setBrush(m_chart->legend()->labelColor());
    const QRectF textRect = noticeText->boundingRect();
    m_emptyNotice->setRect(textRect.adjusted(-8, -4, 8, 4));
    m_emptyNotice->hide();
    m_valueAxis->setRange(EmptyValueRange.first, EmptyValueRange.second);

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
    layout->activate(); // the window's least size, for placing it
    placeBeside(terminal, keepClear);

    connect(m_followButton, &QPushButton::clicked, this, &ChartWindow::follow);
    connect(m_saveButton, &QPushButton::clicked, this, &ChartWindow::askForPngFile);
    connect(m_chart, &QChart::plotAreaChanged, this, [this](const QRectF& plot) {
        // The lines are placed in the plot as it stands when painted; they are reduced afresh
        // when the plot's width has changed by more than a few columns (not when the labels of
        // an axis take a little more or less room).
        m_linesItem->plotAreaChanged();
        placeEmptyNotice();
        if (std::abs(plot.width() - m_reducedWidth) > ReduceAgainPixels)
            scheduleUpdate();
    });
    connect(&m_log, &QAbstractItemModel::modelReset, this, &ChartWindow::clearChart);
    m_updateTimer.setSingleShot(true);
    connect(&m_updateTimer, &QTimer::timeout, this, &ChartWindow::updateNow);

    updateNow();
}

ChartWindow::~ChartWindow() = default;

void ChartWindow::placeBeside(const QWidget* terminal, const QWidget* keepClear)
{
    const QWidget* shown = terminal && terminal->isVisible() ? terminal->window() : nullptr;
    const QScreen* screen = shown ? shown->screen() : QGuiApplication::primaryScreen();
    if (!screen) {
        resize(FirstSize);
        return;
    }
    // The window manager's frame is known only once a window is shown; the terminal's is a good
    // guess of this one's.
    QMargins frame;
    QRect terminalFrame;
    QRect clear;
    if (shown) {
        terminalFrame = shown->frameGeometry();
        const QRect inner = shown->geometry();
        frame = QMargins(inner.left() - terminalFrame.left(), inner.top() - terminalFrame.top(),
                         terminalFrame.right() - inner.right(),
                         terminalFrame.bottom() - inner.bottom());
        if (keepClear)
            clear = QRect(keepClear->mapToGlobal(QPoint()), keepClear->size());
    }
    const QRect placed =
        besideTerminalFrame(screen->availableGeometry(), terminalFrame, clear,
                            FirstSize.grownBy(frame), LeastBesideSize.grownBy(frame));
    resize(placed.size().shrunkBy(frame));
    move(placed.topLeft());
}

QChartView* ChartWindow::chartView() const
{
    return m_view;
}

void ChartWindow::scheduleUpdate()
{
    // Whatever comes before the timer fires is drawn with it.
    if (!m_updateTimer.isActive())
        m_updateTimer.start(int(std::max<qint64>(0, RedrawIntervalMs - m_sinceUpdate.elapsed())));
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
    m_sinceUpdate.start();
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
        m_readings.addRow(stamp, command, response);
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
    line->setPen(SeriesStyle::pen(series, LegendLineWidth));
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
        ColumnReduction& reduced = m_reduced[size_t(series)];
        reduced = reduceToColumns(readings().series(series).readings, m_from, m_to, columns);
        if (reduced.readingsInRange == 0)
            continue;
        lowest = any ? std::min(lowest, reduced.lowest) : reduced.lowest;
        highest = any ? std::max(highest, reduced.highest) : reduced.highest;
        any = true;
    }
    showRangeOnAxis();
    const bool empty = m_readings.readingCount() == 0;
    if (any)
        fitValueAxis(lowest, highest);
    else if (empty)
        m_valueAxis->setRange(EmptyValueRange.first, EmptyValueRange.second); // as when opened
    // The axes lay out their new labels now, so that one paint shows them with the lines.
    if (QGraphicsLayout* layout = m_chart->layout())
        layout->activate();
    m_emptyNotice->setVisible(empty);
    placeEmptyNotice();
    m_linesItem->update();
    // What the pointer rests on may have moved, or a nearer reading come.
    if (m_hovering)
        hoverAt(m_hoverViewPos, m_hoverGlobalPos);
    emit redrawn();
}

void ChartWindow::placeEmptyNotice()
{
    m_emptyNotice->setPos(m_chart->plotArea().center() - m_emptyNotice->rect().center());
}

void ChartWindow::toggleSeries(int series)
{
    QLineSeries* line = m_lines[size_t(series)];
    line->setVisible(!line->isVisible());
    // A hidden series keeps its legend entry, dimmed, so that it can be shown again. The entry
    // draws its piece of line with the series' pen.
    const qreal alpha = line->isVisible() ? 1.0 : 0.35;
    QPen pen = SeriesStyle::pen(series, LegendLineWidth);
    QColor colour = pen.color();
    colour.setAlphaF(alpha);
    pen.setColor(colour);
    line->setPen(pen);
    for (QLegendMarker* marker : m_chart->legend()->markers(line)) {
        marker->setVisible(true);
        QColor label = m_chart->legend()->labelColor();
        label.setAlphaF(alpha);
        marker->setLabelBrush(label);
    }
    redraw();
    descriptionChanged();
}
