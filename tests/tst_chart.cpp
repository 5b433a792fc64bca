// The chart of readings as the user meets it: opened with Ctrl+G or from the log's context
// menu, fed by an instrument on a pseudo-terminal, emptied by Clear, following, zooming,
// hovering and saving, and gone with the terminal's window.

#include "app/frmMain.h"
#include "chart/ChartWindow.h"
#include "chart/TimeView.h"
#include "log/ResponseListView.h"
#include "serial/SerialPortControl.h"
#include "support/PortAliases.h"
#include "support/PseudoTerminal.h"
#include "support/Scenario.h"
#include "support/TerminalBench.h"

#include <QAction>
#include <QApplication>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QFileDialog>
#include <QGraphicsLineItem>
#include <QGraphicsSimpleTextItem>
#include <QGraphicsTextItem>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLegend>
#include <QLegendMarker>
#include <QLineEdit>
#include <QLineSeries>
#include <QMap>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QValueAxis>
#include <QWindow>

#include <algorithm>

#include <sys/stat.h>

namespace {

// The chart windows that exist, shown or not: a window of their own each, not the terminal's.
int chartCount()
{
    return onGui([] {
        const QWidgetList windows = QApplication::topLevelWidgets();
        return int(std::count_if(windows.begin(), windows.end(), [](QWidget* window) {
            return qobject_cast<ChartWindow*>(window) != nullptr;
        }));
    });
}

ChartWindow* chartOf(frmMain& w)
{
    return chartCount() == 1 ? w.chartWindow() : nullptr;
}

// Each series of the chart as "name=values", from its readings and, separately, from the points
// of its line.
QStringList seriesOf(ChartWindow* chart)
{
    QStringList all;
    for (int i = 0; i < chart->readings().count(); ++i) {
        const ReadingSeries& series = chart->readings().series(i);
        QStringList values;
        for (qsizetype r = 0; r < series.readings.size(); ++r)
            values << QString::number(series.readings.valueAt(r));
        all << series.name + QLatin1Char('=') + values.join(QLatin1Char(','));
    }
    return all;
}

// "|" where the line breaks.
QStringList linesOf(ChartWindow* chart)
{
    QStringList all;
    QList<QAbstractSeries*> legend = chart->chart()->series();
    for (int i = 0; i < legend.size(); ++i) {
        QString values;
        const QList<QPointF>& points = chart->linePoints(i);
        for (qsizetype p = 0; p < points.size(); ++p) {
            if (p > 0)
                values += chart->lineSegmentStarts(i).contains(p) ? u'|' : u',';
            values += QString::number(points[p].y());
        }
        all << legend[i]->name() + QLatin1Char('=') + values;
    }
    return all;
}

// What is wrong with the time axis' ticks, or "" when there are some and each lies on a whole
// second within the range shown, the same step apart, labelled with its time (hh:mm:ss).
QString timeAxisFault(ChartWindow* chart)
{
    auto* axis = qobject_cast<QCategoryAxis*>(chart->chart()->axes(Qt::Horizontal).first());
    if (!axis)
        return QStringLiteral("the time axis places no ticks of its own");
    const auto [from, to] = chart->timeRange();
    const QStringList labels = axis->categoriesLabels();
    if (labels.size() < 3)
        return QStringLiteral("%1 ticks").arg(labels.size());
    // A grid line is drawn where each category starts and at the last one's end: the first
    // category starts outside the range shown, so that the lines fall on the ticks, once each.
    if (axis->startValue(labels.first()) >= from)
        return QStringLiteral("a grid line at %1").arg(qint64(axis->startValue(labels.first())));
    QList<qint64> ticks;
    for (const QString& label : labels) {
        const auto at = qint64(axis->endValue(label));
        const QString time =
            QDateTime::fromMSecsSinceEpoch(at).toString(QStringLiteral("hh:mm:ss.zzz"));
        if (at < from || at > to || !time.endsWith(QLatin1String(".000")) ||
            !time.startsWith(label))
            return QStringLiteral("%1 at %2").arg(label, time);
        ticks << at;
    }
    for (qsizetype i = 2; i < ticks.size(); ++i) {
        if (ticks[i] - ticks[i - 1] != ticks[1] - ticks[0])
            return QStringLiteral("uneven steps at %1").arg(labels[i]);
    }
    return QString();
}

// Where the plot says "No readings yet", in the chart's coordinates; empty while it does not.
QRectF emptyNoticeOf(ChartWindow* chart)
{
    for (QGraphicsItem* item : chart->chart()->scene()->items()) {
        auto* text = dynamic_cast<QGraphicsSimpleTextItem*>(item);
        if (text && text->isVisible() && text->text() == QLatin1String("No readings yet"))
            return chart->chart()->mapRectFromScene(text->sceneBoundingRect());
    }
    return {};
}

// Opens the log's context menu, with the mouse over a row or from the keyboard.
QMenu* openLogMenu(frmMain& w, QContextMenuEvent::Reason reason, int row = 1)
{
    ResponseListView* log = w.lstResponse;
    const QPoint at(20, (row - 1) * log->rowHeight() + log->rowHeight() / 2);
    QContextMenuEvent event(reason, at, log->viewport()->mapToGlobal(at));
    QApplication::sendEvent(
        reason == QContextMenuEvent::Mouse ? log->viewport() : static_cast<QWidget*>(log), &event);
    return qobject_cast<QMenu*>(QApplication::activePopupWidget());
}

QAction* actionNamed(QMenu* menu, const QString& text)
{
    for (QAction* action : menu->actions())
        if (action->text() == text)
            return action;
    return nullptr;
}

const QString kChartCaption = QStringLiteral("Chart of Readings\u2026");

qint64 localMsecs(int hour, int minute, int second, int msec)
{
    return QDateTime(QDate(2026, 3, 25), QTime(hour, minute, second, msec)).toMSecsSinceEpoch();
}

// Readings 0 to 10, one a second from 14:00:00 local time; returns the first one's time.
qint64 addReadingsEverySecond(ResponseLogModel& log)
{
    const qint64 start = localMsecs(14, 0, 0, 0);
    for (int i = 0; i <= 10; ++i)
        log.setResponse(log.append(QString(), RowKind::Reply, start + i * 1000),
                        QString::number(i));
    return start;
}

} // namespace

class ChartTest : public QObject {
    Q_OBJECT
private slots:
    void readingsFromTheInstrumentAreCharted();
    void ctrlGAndTheMenuOpenOneChart();
    void menuCopiesTheRow();
    void menuLeavesThePollingLoopReading();
    void clearEmptiesTheChart();
    void followsUntilZoomedOrPanned();
    void zoomAndPanStopAtTheirBounds();
    void linesBreakWhereTheConnectionEnded_data();
    void linesBreakWhereTheConnectionEnded();
    void noLineIsDrawnAcrossABreak();
    void legendHidesASeries();
    void seriesAreToldApart();
    void hoverShowsTheNearestReading_data();
    void hoverShowsTheNearestReading();
    void valueAxisHoldsTheReadings_data();
    void valueAxisHoldsTheReadings();
    void savesAsPng();
    void savingAsksWithoutStoppingTheTerminal();
    void programEndsWithTheChartOpen_data();
    void programEndsWithTheChartOpen();
    void opensWhollyOnTheTerminalsScreen_data();
    void opensWhollyOnTheTerminalsScreen();
};

void ChartTest::readingsFromTheInstrumentAreCharted()
{
    TerminalBench bench;
    QTemporaryDir folder;
    const QString streamFile = folder.filePath(QStringLiteral("stream.txt"));
    runScenario(bench.w, [&] {
        QVERIFY(bench.connect());
        const qint64 before = QDateTime::currentMSecsSinceEpoch();
        // Unsolicited lines, not stripped: only those in Strip Data's form are readings.
        bench.line->write("12.5\nOK\n-3.25\n12.50\n1E-05\n");
        QVERIFY(waitUntil([&] { return logRowCount(bench.w) == 5; }));
        // Stripped replies to a command: those that carry a number are readings; "ERR" is
        // written as 0 in the log but carries none.
        onGui([&] { bench.w.chkStrip->setChecked(true); });
        onGui([&] { bench.w.txtcmd->lineEdit()->clear(); });
        bench.type(QStringLiteral("TEMP?"), true);
        QCOMPARE(bench.line->readUntil("\r\n"), QByteArray("TEMP?\r\n"));
        bench.line->write("TEMP_23.45\nTEMP_23.5\nERR\n");
        QVERIFY(waitUntil([&] { return logRowCount(bench.w) == 9; }));
        const qint64 after = QDateTime::currentMSecsSinceEpoch();

        onGui([&] {
            bench.w.lstResponse->setFocus();
            QTest::keyClick(bench.w.lstResponse, Qt::Key_G, Qt::ControlModifier);
        });
        QTRY_VERIFY(onGui([&] { return chartOf(bench.w) && chartOf(bench.w)->isVisible(); }));
        QCOMPARE(bench.responses().last(), QStringLiteral("0"));
        const QStringList expected{"Unsolicited=12.5,-3.25,1e-05", "TEMP?=23.45,23.5"};
        onGui([&] {
            ChartWindow* chart = chartOf(bench.w);
            QCOMPARE(seriesOf(chart), expected);
            QCOMPARE(linesOf(chart), expected);
            QCOMPARE(chart->readings().readingCount(), 5);
            for (int s = 0; s < 2; ++s) {
                const ReadingList& readings = chart->readings().series(s).readings;
                for (qsizetype r = 0; r < readings.size(); ++r) {
                    QVERIFY(readings.msecsAt(r) >= before);
                    QVERIFY(readings.msecsAt(r) <= after);
                }
            }
        });

        // New readings come in live.
        bench.line->write("TEMP_24\n");
        QTRY_COMPARE(onGui([&] { return linesOf(chartOf(bench.w)).value(1); }),
                     QStringLiteral("TEMP?=23.45,23.5,24"));
        // Streamed lines are not in the log and not in the chart.
        bench.streamTo(streamFile);
        bench.line->write("TEMP_99\n");
        QVERIFY(waitUntil([&] { return QFileInfo(streamFile).size() > 0; }));
        bench.stopStreaming();
        bench.line->write("TEMP_25\n");
        QTRY_COMPARE(onGui([&] { return seriesOf(chartOf(bench.w)).value(1); }),
                     QStringLiteral("TEMP?=23.45,23.5,24,25"));
    });
    QCOMPARE(bench.messages.count(), 0);
}

void ChartTest::ctrlGAndTheMenuOpenOneChart()
{
    TerminalBench bench;
    frmMain& w = bench.w;
    w.lstResponse->SetResponse(w.lstResponse->AddRow(QString()), QStringLiteral("7"));
    QCOMPARE(chartCount(), 0);

    // Ctrl+G works wherever the focus is in the window.
    w.cboPort->setFocus();
    QTest::keyClick(w.cboPort, Qt::Key_G, Qt::ControlModifier);
    QCOMPARE(chartCount(), 1);
    ChartWindow* chart = chartOf(w);
    QVERIFY(chart->isWindow());
    QVERIFY(QTest::qWaitForWindowExposed(chart));
    // Not owned by the terminal's window, which would keep it above the terminal.
    QCOMPARE(chart->parentWidget(), nullptr);
    QCOMPARE(chart->windowHandle()->transientParent(), nullptr);
    QCOMPARE(seriesOf(chart), QStringList{"Unsolicited=7"});

    // A second request brings the same window up, from the key and from both menus.
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    w.chkStrip->setFocus();
    QTest::keyClick(w.chkStrip, Qt::Key_G, Qt::ControlModifier);
    QCOMPARE(chartCount(), 1);
    QCOMPARE(chartOf(w), chart);
    QTRY_COMPARE(QApplication::activeWindow(), chart);

    for (auto reason : {QContextMenuEvent::Mouse, QContextMenuEvent::Keyboard}) {
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QMenu* menu = openLogMenu(w, reason);
        QVERIFY(menu);
        QStringList texts;
        for (QAction* action : menu->actions())
            texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
        QCOMPARE(texts, (QStringList{"Copy", "-", kChartCaption, "Measurement Run\u2026"}));
        QAction* chartAction = actionNamed(menu, kChartCaption);
        QCOMPARE(chartAction->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_G));
        QVERIFY(chartAction->isShortcutVisibleInContextMenu());
        QCOMPARE(actionNamed(menu, QStringLiteral("Copy"))->shortcut(),
                 QKeySequence(QKeySequence::Copy));
        chartAction->trigger();
        menu->close();
        QCOMPARE(chartCount(), 1);
        QCOMPARE(chartOf(w), chart);
    }

    // Closing the chart changes nothing in the terminal; the next request opens a new one.
    const int rows = w.lstResponse->Count();
    chart->close();
    QTRY_COMPARE(chartCount(), 0);
    QVERIFY(w.isVisible());
    QCOMPARE(w.lstResponse->Count(), rows);
    QVERIFY(!w.state().Unloading);
    w.mnuChart->trigger();
    QCOMPARE(chartCount(), 1);
    // The chart closes with the terminal's window.
    QVERIFY(QTest::qWaitForWindowExposed(chartOf(w)));
    w.close();
    QTRY_COMPARE(chartCount(), 0);
}

void ChartTest::menuCopiesTheRow()
{
    TerminalBench bench;
    frmMain& w = bench.w;
    w.lstResponse->AddRow(QStringLiteral("TEMP?"), RowKind::Command);
    w.lstResponse->SetResponse(w.lstResponse->AddRow(QStringLiteral("03/25/2026 14:07:09.045")),
                               QStringLiteral("23.45"));
    w.lstResponse->flushPendingRows();
    QApplication::clipboard()->clear();
    QMenu* menu = openLogMenu(w, QContextMenuEvent::Mouse, 2); // the mouse selects its row
    QVERIFY(menu);
    QCOMPARE(w.lstResponse->SelectedRow(), 2);
    actionNamed(menu, QStringLiteral("Copy"))->trigger();
    menu->close();
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("03/25/2026 14:07:09.045\t23.45"));
    // Below the last row nothing is selected afresh; Copy takes the selected row.
    menu = openLogMenu(w, QContextMenuEvent::Mouse, 9);
    QVERIFY(menu);
    QCOMPARE(w.lstResponse->SelectedRow(), 2);
    menu->close();
}

void ChartTest::menuLeavesThePollingLoopReading()
{
    TerminalBench bench;
    runScenario(bench.w, [&] {
        QVERIFY(bench.connect());
        bench.line->write("1\n");
        QVERIFY(waitUntil([&] { return logRowCount(bench.w) == 1; }));
        postToGui([&] { openLogMenu(bench.w, QContextMenuEvent::Mouse); });
        QVERIFY(waitUntil(
            [] { return onGui([] { return QApplication::activePopupWidget() != nullptr; }); }));
        // While the menu is open, lines still become rows.
        bench.line->write("2\n3\n");
        const bool read = waitUntil([&] { return logRowCount(bench.w) == 3; });
        const bool stillOpen = onGui([] {
            QWidget* menu = QApplication::activePopupWidget();
            if (menu)
                menu->close();
            return menu != nullptr;
        });
        QVERIFY(read);
        QVERIFY(stillOpen);
    });
}

void ChartTest::clearEmptiesTheChart()
{
    TerminalBench bench;
    runScenario(bench.w, [&] {
        QVERIFY(bench.connect());
        onGui([&] { bench.w.txtcmd->lineEdit()->clear(); });
        bench.type(QStringLiteral("READ?"), true);
        bench.line->write("1\n2\n");
        QVERIFY(waitUntil([&] { return logRowCount(bench.w) == 3; }));
        onGui([&] { bench.w.mnuChart->trigger(); });
        QTRY_COMPARE(onGui([&] { return seriesOf(chartOf(bench.w)); }), QStringList{"READ?=1,2"});
        QVERIFY(onGui([&] { return emptyNoticeOf(chartOf(bench.w)).isEmpty(); }));
        QVERIFY(bench.disconnect());
        const qint64 clearedAt = QDateTime::currentMSecsSinceEpoch();
        onGui([&] { bench.w.cmdClear->click(); });
        onGui([&] {
            ChartWindow* chart = chartOf(bench.w);
            QCOMPARE(chart->readings().count(), 0);
            QCOMPARE(chart->readings().readingCount(), 0);
            QVERIFY(chart->chart()->series().isEmpty());
            QVERIFY(chart->isFollowing());
            // Nothing of the old readings stays: the plot says there are none, the time axis
            // shows the last minute and the value axis is as when the chart opened.
            const QRectF notice = emptyNoticeOf(chart);
            QVERIFY(!notice.isEmpty());
            QVERIFY(chart->chart()->plotArea().contains(notice));
            QVERIFY(chart->timeRange().second >= clearedAt);
            const auto* values =
                static_cast<QValueAxis*>(chart->chart()->axes(Qt::Vertical).first());
            QCOMPARE(std::make_pair(values->min(), values->max()), std::make_pair(0.0, 1.0));
        });
        // After Clear no command row is above the new readings.
        QVERIFY(bench.connect());
        bench.line->write("5\n");
        QTRY_COMPARE(onGui([&] { return linesOf(chartOf(bench.w)); }),
                     QStringList{"Unsolicited=5"});
        QVERIFY(onGui([&] { return emptyNoticeOf(chartOf(bench.w)).isEmpty(); }));
    });
}

void ChartTest::followsUntilZoomedOrPanned()
{
    ResponseLogModel log;
    const qint64 start = addReadingsEverySecond(log);
    ChartWindow chart(log, nullptr);
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    chart.updateNow();
    QVERIFY(chart.isFollowing());
    QCOMPARE(chart.timeRange(), std::make_pair(start, start + 10000));
    QCOMPARE(timeAxisFault(&chart), QString());
    // The newest reading stays in view.
    log.setResponse(log.append(QString(), RowKind::Reply, start + 20000), QStringLiteral("20"));
    QTRY_COMPARE(chart.timeRange(), std::make_pair(start, start + 20000));

    // The wheel zooms the time axis where the pointer is, and following stops.
    QChartView* view = chart.chartView();
    QRectF plot = chart.chart()->plotArea();
    const QPoint middle = view->mapFromScene(chart.chart()->mapToScene(plot.center()));
    QWheelEvent wheel(middle, view->viewport()->mapToGlobal(middle), {}, QPoint(0, 120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view->viewport(), &wheel);
    QVERIFY(!chart.isFollowing());
    QVERIFY(!chart.followButton()->isChecked());
    const auto zoomed = chart.timeRange();
    QVERIFY(zoomed.first > start);
    QVERIFY(zoomed.second < start + 20000);
    QCOMPARE(zoomed.second - zoomed.first, 16000); // 0.8 of the span
    // The range is not moved to the ticks: they fall on round times within it.
    QCOMPARE(timeAxisFault(&chart), QString());
    log.setResponse(log.append(QString(), RowKind::Reply, start + 30000), QStringLiteral("30"));
    chart.updateNow();
    QCOMPARE(chart.timeRange(), zoomed);

    // Dragging on the time axis pans it.
    const QPoint onAxis = view->mapFromScene(
        chart.chart()->mapToScene(QPointF(plot.center().x(), plot.bottom() + 10)));
    QTest::mousePress(view->viewport(), Qt::LeftButton, {}, onAxis);
    QTest::mouseMove(view->viewport(), onAxis + QPoint(100, 0));
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, onAxis + QPoint(100, 0));
    const auto panned = chart.timeRange();
    QCOMPARE(panned.second - panned.first, zoomed.second - zoomed.first);
    QVERIFY(panned.first < zoomed.first); // dragged to the right: earlier times come into view

    // A band drawn across the middle half of the plot zooms to its times; a right click
    // zooms out again, twice the span around the middle.
    plot = chart.chart()->plotArea(); // the value axis' labels may have moved its left edge
    const double msPerPixel = double(panned.second - panned.first) / plot.width();
    const auto sceneToView = [&](double x, double y) {
        return view->mapFromScene(chart.chart()->mapToScene(QPointF(x, y)));
    };
    const QPoint bandFrom = sceneToView(plot.left() + plot.width() / 4, plot.center().y());
    const QPoint bandTo = sceneToView(plot.left() + plot.width() * 3 / 4, plot.center().y());
    QTest::mousePress(view->viewport(), Qt::LeftButton, {}, bandFrom);
    QTest::mouseMove(view->viewport(), bandTo);
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, bandTo);
    const auto banded = chart.timeRange();
    // From the pixel pressed on to the pixel released on, to the millisecond.
    const auto timeAt = [&](const QPoint& pixel) {
        const double x = chart.chart()->mapFromScene(view->mapToScene(pixel)).x();
        return panned.first + qint64(std::llround((x - plot.left()) * msPerPixel));
    };
    QVERIFY(std::abs(banded.first - timeAt(bandFrom)) <= 1);
    QVERIFY(std::abs(banded.second - timeAt(bandTo)) <= 1);
    QVERIFY(!chart.isFollowing());
    QTest::mouseClick(view->viewport(), Qt::RightButton, {},
                      sceneToView(plot.center().x(), plot.center().y()));
    const auto unbanded = chart.timeRange();
    QVERIFY(std::abs((unbanded.second - unbanded.first) - 2 * (banded.second - banded.first)) <= 2);
    QVERIFY(std::abs((unbanded.first + unbanded.second) - (banded.first + banded.second)) <= 2);
    // A band drawn leftwards zooms to the same pixels.
    const double unbandedMsPerPixel = double(unbanded.second - unbanded.first) / plot.width();
    const auto unbandedTimeAt = [&](const QPoint& pixel) {
        const double x = chart.chart()->mapFromScene(view->mapToScene(pixel)).x();
        return unbanded.first + qint64(std::llround((x - plot.left()) * unbandedMsPerPixel));
    };
    QTest::mousePress(view->viewport(), Qt::LeftButton, {}, bandTo);
    QTest::mouseMove(view->viewport(), bandFrom);
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, bandFrom);
    QVERIFY(std::abs(chart.timeRange().first - unbandedTimeAt(bandFrom)) <= 1);
    QVERIFY(std::abs(chart.timeRange().second - unbandedTimeAt(bandTo)) <= 1);

    // Panned to where no reading is: the readings are elsewhere, not missing.
    for (int i = 0; i < 12; ++i)
        QTest::keyClick(view, Qt::Key_Left);
    QVERIFY(chart.timeRange().second < start);
    QVERIFY(emptyNoticeOf(&chart).isEmpty());

    // The button brings the newest reading back.
    QTest::mouseClick(chart.followButton(), Qt::LeftButton);
    QVERIFY(chart.isFollowing());
    QCOMPARE(chart.timeRange(), std::make_pair(start, start + 30000));
}

void ChartTest::zoomAndPanStopAtTheirBounds()
{
    using namespace TimeViewBounds;
    ResponseLogModel log;
    addReadingsEverySecond(log);
    ChartWindow chart(log, nullptr);
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    chart.updateNow();
    QChartView* view = chart.chartView();
    auto* axis = qobject_cast<QCategoryAxis*>(chart.chart()->axes(Qt::Horizontal).first());
    const auto ticksWithin = [&] {
        const auto [from, to] = chart.timeRange();
        const QStringList labels = axis->categoriesLabels();
        return !labels.isEmpty() && std::all_of(labels.begin(), labels.end(), [&](auto& label) {
            return axis->endValue(label) >= double(from) && axis->endValue(label) <= double(to);
        });
    };
    // "-" held for seconds: the span stops at a hundred years, the view within the years.
    for (int i = 0; i < 60; ++i)
        QTest::keyClick(view, Qt::Key_Minus);
    auto [from, to] = chart.timeRange();
    QCOMPARE(to - from, LongestSpan);
    QVERIFY(from >= Earliest);
    QVERIFY(to <= Latest);
    QVERIFY(ticksWithin());
    // "+" as long: a millisecond.
    for (int i = 0; i < 80; ++i)
        QTest::keyClick(view, Qt::Key_Plus);
    std::tie(from, to) = chart.timeRange();
    QCOMPARE(to - from, ShortestSpan);
    QVERIFY(ticksWithin());
    // Panned to 1970 and to 9999: it stops there.
    chart.showTimeRange(2000, 12000);
    for (int i = 0; i < 5; ++i)
        QTest::keyClick(view, Qt::Key_Left);
    QCOMPARE(chart.timeRange(), std::make_pair(Earliest, Earliest + 10000));
    QVERIFY(ticksWithin());
    chart.showTimeRange(Latest - 12000, Latest - 2000);
    for (int i = 0; i < 5; ++i)
        QTest::keyClick(view, Qt::Key_Right);
    QCOMPARE(chart.timeRange(), std::make_pair(Latest - 10000, Latest));
    QVERIFY(ticksWithin());
    for (int i = 0; i < 60; ++i)
        QTest::keyClick(view, Qt::Key_Minus);
    QCOMPARE(chart.timeRange(), std::make_pair(Latest - LongestSpan, Latest));
}

void ChartTest::linesBreakWhereTheConnectionEnded_data()
{
    QTest::addColumn<QString>("end");
    QTest::newRow("Disconnect") << "Disconnect";
    QTest::newRow("the device lost") << "lost";
    QTest::newRow("another port") << "port";
    QTest::newRow("another rate") << "rate";
}

void ChartTest::linesBreakWhereTheConnectionEnded()
{
    QFETCH(QString, end);
    TerminalBench bench;
    PseudoTerminal second;
    bench.aliases.point(6, second.slavePath());
    runScenario(bench.w, [&] {
        QVERIFY(bench.connect());
        onGui([&] { bench.w.txtcmd->lineEdit()->clear(); });
        bench.type(QStringLiteral("READ?"), true);
        QCOMPARE(bench.line->readUntil("\r\n"), QByteArray("READ?\r\n"));
        bench.line->write("1\n2\n");
        QVERIFY(waitUntil([&] { return logRowCount(bench.w) == 3; }));
        PseudoTerminal* instrument = bench.line.get();
        const auto reconnected = [&] {
            return waitUntil([&] {
                return onGui([&] { return bench.w.ComPort->OpenCount() == 2; }) &&
                       isConnected(bench.w);
            });
        };
        if (end == QLatin1String("Disconnect")) {
            QVERIFY(bench.disconnect());
            QVERIFY(bench.connect());
        } else if (end == QLatin1String("lost")) {
            bench.line->releaseSlave();
            bench.line->hangUp();
            QTRY_COMPARE(bench.messages.count(), 1);
            QVERIFY(waitUntil([&] { return !onGui([&] { return bench.w.isPolling(); }); }));
            bench.line = std::make_unique<PseudoTerminal>();
            bench.aliases.point(5, bench.line->slavePath());
            instrument = bench.line.get();
            QVERIFY(bench.connect());
        } else if (end == QLatin1String("port")) {
            onGui([&] { bench.w.cboPort->setCurrentIndex(5); }); // COM 6
            instrument = &second;
            QVERIFY(reconnected());
        } else {
            onGui([&] { bench.w.cboBaudRate->setCurrentText(QStringLiteral("19200")); });
            QVERIFY(reconnected());
        }
        // The replies still answer READ?, over the new connection.
        instrument->write("3\n4\n");
        QVERIFY(waitUntil([&] { return logRowCount(bench.w) == 5; }));
        onGui([&] { bench.w.mnuChart->trigger(); });
        QTRY_COMPARE(onGui([&] { return linesOf(chartOf(bench.w)); }),
                     QStringList{"READ?=1,2|3,4"});
        // Nowhere else: the log's rows are as they came.
        QCOMPARE(bench.responses(), (QStringList{"", "1", "2", "3", "4"}));
    });
    QCOMPARE(bench.messages.count(), end == QLatin1String("lost") ? 1 : 0);
}

void ChartTest::noLineIsDrawnAcrossABreak()
{
    // Readings equal to their second, and a break between the second and the ninth.
    ResponseLogModel log;
    const qint64 start = localMsecs(10, 0, 0, 0);
    for (const int second : {0, 1, 9, 10}) {
        if (second == 9)
            log.markBreak();
        log.setResponse(log.append(QString(), RowKind::Reply, start + second * 1000),
                        QString::number(second));
    }
    ChartWindow chart(log, nullptr);
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    chart.updateNow();
    const QImage image = chart.chartView()->grab().toImage();
    const QRectF plot = chart.chart()->plotArea();
    const auto [from, to] = chart.timeRange();
    const auto* values = static_cast<QValueAxis*>(chart.chart()->axes(Qt::Vertical).first());
    // Whether the line's colour is drawn within a few pixels of where the reading
    // (second, second) would lie; the grid is grey.
    const auto drawnAt = [&](double second) {
        const QPointF onChart(plot.left() + (double(start) + second * 1000 - double(from)) /
                                                double(to - from) * plot.width(),
                              plot.bottom() - (second - values->min()) /
                                                  (values->max() - values->min()) * plot.height());
        const QPoint at = chart.chartView()->mapFromScene(chart.chart()->mapToScene(onChart));
        for (int dy = -3; dy <= 3; ++dy) {
            if (image.pixelColor(at + QPoint(0, dy)).hsvSaturationF() > 0.3)
                return true;
        }
        return false;
    };
    QVERIFY(drawnAt(0.5));
    QVERIFY(drawnAt(9.5));
    QVERIFY(!drawnAt(4.5));
}

void ChartTest::legendHidesASeries()
{
    ResponseLogModel log;
    const qint64 start = localMsecs(9, 0, 0, 0);
    log.append(QStringLiteral("LOW?"), RowKind::Command, start);
    for (int i = 1; i <= 5; ++i)
        log.setResponse(log.append(QString(), RowKind::Reply, start + i * 1000),
                        QString::number(i));
    log.append(QStringLiteral("HIGH?"), RowKind::Command, start + 6000);
    for (int i = 7; i <= 10; ++i)
        log.setResponse(log.append(QString(), RowKind::Reply, start + i * 1000),
                        QString::number(i * 100));
    ChartWindow chart(log, nullptr);
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    chart.updateNow();
    auto* values = static_cast<QValueAxis*>(chart.chart()->axes(Qt::Vertical).first());
    QVERIFY(values->max() >= 1000);
    QLegendMarker* high = chart.chart()->legend()->markers(chart.line(1)).first();
    QCOMPARE(high->label(), QStringLiteral("HIGH?"));
    emit high->clicked();
    QVERIFY(!chart.line(1)->isVisible());
    QVERIFY(high->isVisible()); // still in the legend, to be shown again
    // The value axis fits the series shown.
    QVERIFY(values->max() < 100);
    QVERIFY(values->min() <= 1);
    // With every series hidden the readings are still there, only not shown.
    QLegendMarker* low = chart.chart()->legend()->markers(chart.line(0)).first();
    emit low->clicked();
    QVERIFY(!chart.line(0)->isVisible());
    QVERIFY(emptyNoticeOf(&chart).isEmpty());
    emit low->clicked();
    emit high->clicked();
    QVERIFY(chart.line(1)->isVisible());
    QVERIFY(values->max() >= 1000);

    // Clicked with the mouse, on the entry's label, as a user does.
    QGraphicsTextItem* label = nullptr;
    for (QGraphicsItem* item : chart.chart()->scene()->items()) {
        auto* text = dynamic_cast<QGraphicsTextItem*>(item);
        if (text && text->isVisible() && text->toPlainText() == QLatin1String("HIGH?"))
            label = text;
    }
    QVERIFY(label);
    const QPoint onLabel = chart.chartView()->mapFromScene(label->sceneBoundingRect().center());
    QTest::mouseClick(chart.chartView()->viewport(), Qt::LeftButton, {}, onLabel);
    QVERIFY(!chart.line(1)->isVisible());
    QTest::mouseClick(chart.chartView()->viewport(), Qt::LeftButton, {}, onLabel);
    QVERIFY(chart.line(1)->isVisible());
}

void ChartTest::seriesAreToldApart()
{
    // 33 series, one reading each.
    ResponseLogModel log;
    const qint64 start = localMsecs(9, 0, 0, 0);
    for (int s = 0; s < 33; ++s) {
        log.append(QStringLiteral("CH%1?").arg(s + 1), RowKind::Command, start + s * 1000);
        log.setResponse(log.append(QString(), RowKind::Reply, start + s * 1000 + 1),
                        QString::number(s));
    }
    ChartWindow chart(log, nullptr);
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    chart.updateNow();
    QCOMPARE(chart.lineCount(), 33);
    // The first eight in the colours of the Okabe-Ito palette, its yellow darkened until it
    // stands out from white as its orange does.
    const QList<QRgb> palette{0x000000, 0xE69F00, 0x56B4E9, 0x009E73, 0x0072B2, 0xD55E00, 0xCC79A7};
    const QColor yellow(0xF0E442);
    const auto contrastOnWhite = [](const QColor& colour) {
        const auto linear = [](double c) {
            return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
        };
        const double luminance = 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) +
                                 0.0722 * linear(colour.blueF());
        return 1.05 / (luminance + 0.05);
    };
    QSet<QRgb> firstEight;
    for (int s = 0; s < 8; ++s) {
        const QColor colour = chart.line(s)->pen().color();
        firstEight << colour.rgb();
        QCOMPARE(chart.line(s)->pen().style(), Qt::SolidLine);
        QVERIFY(contrastOnWhite(colour) >= contrastOnWhite(QColor(0xE69F00)));
        if (!palette.contains(colour.rgb() & 0xFFFFFF)) {
            QVERIFY2(std::abs(colour.hsvHue() - yellow.hsvHue()) <= 2, qPrintable(colour.name()));
            QVERIFY(colour.valueF() < yellow.valueF());
        }
    }
    QCOMPARE(firstEight.size(), 8);
    // Then the same colours again, each round with a mark of its own, shown in the legend too;
    // all 32 tell apart, the 33rd is the first again.
    QList<std::pair<QRgb, QList<qreal>>> looks;
    QList<QGraphicsLineItem*> legendLines;
    for (QGraphicsItem* item : chart.chart()->scene()->items()) {
        if (auto* entryLine = qgraphicsitem_cast<QGraphicsLineItem*>(item))
            legendLines << entryLine;
    }
    for (int s = 0; s < 33; ++s) {
        const QPen pen = chart.line(s)->pen();
        QCOMPARE(pen.color(), chart.line(s % 8)->pen().color());
        QCOMPARE(pen.style() != Qt::SolidLine, s % 32 >= 8);
        looks << std::make_pair(pen.color().rgb(), pen.dashPattern());
        QVERIFY(std::any_of(legendLines.begin(), legendLines.end(),
                            [&](QGraphicsLineItem* line) { return line->pen() == pen; }));
    }
    for (int a = 0; a < 32; ++a) {
        for (int b = a + 1; b < 32; ++b)
            QVERIFY2(looks[a] != looks[b], qPrintable(QStringLiteral("%1 and %2").arg(a).arg(b)));
    }
    QCOMPARE(looks[32], looks[0]);
}

void ChartTest::hoverShowsTheNearestReading_data()
{
    QTest::addColumn<int>("reading"); // index in the series, or -1: far from any
    QTest::addColumn<QString>("text");
    QTest::newRow("first") << 0 << "VOLT?\n03/25/2026 14:07:09.045\n12.5";
    QTest::newRow("a small one") << 1 << "VOLT?\n03/25/2026 14:07:10.005\n1E-05";
    QTest::newRow("last") << 2 << "VOLT?\n03/25/2026 14:07:19.999\n-3.25";
    QTest::newRow("outside the plot") << -1 << "";
}

void ChartTest::hoverShowsTheNearestReading()
{
    QFETCH(int, reading);
    QFETCH(QString, text);
    ResponseLogModel log;
    log.append(QStringLiteral("VOLT?"), RowKind::Command, localMsecs(14, 7, 9, 0));
    log.setResponse(log.append(QString(), RowKind::Reply, localMsecs(14, 7, 9, 45)), u"12.5");
    log.setResponse(log.append(QString(), RowKind::Reply, localMsecs(14, 7, 10, 5)), u"1E-05");
    log.setResponse(log.append(QString(), RowKind::Reply, localMsecs(14, 7, 19, 999)), u"-3.25");
    ChartWindow chart(log, nullptr);
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    chart.updateNow();
    QPoint at(2, 2);
    if (reading >= 0) {
        const Reading r = chart.readings().series(0).readings.at(reading);
        // Where the reading is drawn, by the axes as they stand.
        const QRectF plot = chart.chart()->plotArea();
        const auto [from, to] = chart.timeRange();
        const auto* values = static_cast<QValueAxis*>(chart.chart()->axes(Qt::Vertical).first());
        const QPointF onChart(plot.left() +
                                  double(r.msecs - from) / double(to - from) * plot.width(),
                              plot.bottom() - (r.value - values->min()) /
                                                  (values->max() - values->min()) * plot.height());
        // A few pixels beside the reading.
        at = chart.chartView()->mapFromScene(chart.chart()->mapToScene(onChart)) + QPoint(3, -3);
    }
    QCOMPARE(chart.hoverText(at), text);
}

void ChartTest::valueAxisHoldsTheReadings_data()
{
    QTest::addColumn<QStringList>("values");
    QTest::newRow("ordinary readings") << QStringList{"1", "3", "2"};
    QTest::newRow("up to near the largest double") << QStringList{"1E+308", "1.79E+308"};
    QTest::newRow("zero and near the largest double") << QStringList{"0", "1.75E+308"};
    QTest::newRow("alike, near the lowest double") << QStringList{"-1.75E+308", "-1.75E+308"};
    QTest::newRow("apart in the 15th digit")
        << QStringList{"-9793.34654717583", "-9793.34654717582"};
    QTest::newRow("a single reading next to zero") << QStringList{"4.94065645841247E-324"};
}

void ChartTest::valueAxisHoldsTheReadings()
{
    QFETCH(QStringList, values);
    ResponseLogModel log;
    for (int i = 0; i < values.size(); ++i)
        log.setResponse(log.append(QString(), RowKind::Reply, localMsecs(8, 0, i, 0)), values[i]);
    ChartWindow chart(log, nullptr);
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    chart.updateNow();
    // The axis ends and spans within the doubles, and holds every reading.
    const auto* axis = static_cast<QValueAxis*>(chart.chart()->axes(Qt::Vertical).first());
    QVERIFY(std::isfinite(axis->min()));
    QVERIFY(std::isfinite(axis->max()));
    QVERIFY(std::isfinite(axis->max() - axis->min()));
    const ReadingList& readings = chart.readings().series(0).readings;
    for (qsizetype r = 0; r < readings.size(); ++r) {
        QVERIFY(axis->min() <= readings.valueAt(r));
        QVERIFY(readings.valueAt(r) <= axis->max());
    }
    // The last reading is drawn where the axis says, and found there.
    const Reading last = readings.at(readings.size() - 1);
    const QRectF plot = chart.chart()->plotArea();
    const auto [from, to] = chart.timeRange();
    const QPointF onChart(
        plot.left() + double(last.msecs - from) / double(to - from) * plot.width(),
        plot.bottom() - (last.value - axis->min()) / (axis->max() - axis->min()) * plot.height());
    const QPoint at = chart.chartView()->mapFromScene(chart.chart()->mapToScene(onChart));
    QCOMPARE(chart.hoverText(at).section(QLatin1Char('\n'), 2), values.last());
}

void ChartTest::savesAsPng()
{
    ResponseLogModel log;
    log.setResponse(log.append(QString(), RowKind::Reply, localMsecs(8, 0, 0, 0)), u"1");
    log.setResponse(log.append(QString(), RowKind::Reply, localMsecs(8, 0, 1, 0)), u"2");
    ChartWindow chart(log, nullptr);
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("chart.png"));
    QCOMPARE(chart.savePng(path), QString());
    const QImage image(path);
    QCOMPARE(image.size(), chart.chartView()->size() * chart.devicePixelRatio());
    // A pipe nobody reads is refused at once, untouched.
    const QString fifo = folder.filePath(QStringLiteral("pipe.png"));
    QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QCOMPARE(chart.savePng(fifo),
             QStringLiteral("The chart was not saved: %1 is not a plain file.").arg(fifo));
    QVERIFY(QFileInfo(fifo).exists() && !QFileInfo(fifo).isFile());
    // A folder that does not exist.
    const QString nowhere = folder.filePath(QStringLiteral("gone/chart.png"));
    QVERIFY(chart.savePng(nowhere).startsWith(
        QStringLiteral("The chart was not saved to %1: ").arg(nowhere)));
}

void ChartTest::savingAsksWithoutStoppingTheTerminal()
{
    TerminalBench bench;
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("readings.png"));
    runScenario(bench.w, [&] {
        QVERIFY(bench.connect());
        bench.line->write("1\n");
        QVERIFY(waitUntil([&] { return logRowCount(bench.w) == 1; }));
        onGui([&] { bench.w.mnuChart->trigger(); });
        onGui([&] { chartOf(bench.w)->saveButton()->click(); });
        QFileDialog* dialog = onGui([&] { return chartOf(bench.w)->findChild<QFileDialog*>(); });
        QVERIFY(dialog);
        QVERIFY(onGui([&] { return dialog->isVisible(); }));
        QCOMPARE(onGui([&] { return dialog->windowModality(); }), Qt::WindowModal);
        // The terminal keeps reading while the dialog is open.
        bench.line->write("2\n");
        QVERIFY(waitUntil([&] { return logRowCount(bench.w) == 2; }));
        onGui([&] {
            dialog->selectFile(path);
            static_cast<QDialog*>(dialog)->accept(); // as the Save button does
        });
        QVERIFY(waitUntil([&] { return QFileInfo(path).size() > 0; }));
        // The terminal's own file prompt was not used: streaming is as it was.
        onGui([&] {
            QVERIFY(bench.w.state().StreamFileName.isEmpty());
            QVERIFY(!bench.w.chkStream->isChecked());
        });
    });
    QCOMPARE(QImage(path).isNull(), false);
    QCOMPARE(bench.messages.count(), 0);
}

void ChartTest::programEndsWithTheChartOpen_data()
{
    QTest::addColumn<QString>("state");
    QTest::newRow("disconnected") << "disconnected";
    QTest::newRow("connected") << "connected";
}

void ChartTest::programEndsWithTheChartOpen()
{
    QFETCH(QString, state);
    // The probe starts the terminal as the program does, opens the chart and closes the
    // terminal's window.
    QProcess probe;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    probe.setProcessEnvironment(environment);
    probe.start(QStringLiteral(BVTERM_CHART_PROBE), {state});
    QVERIFY(probe.waitForStarted());
    const bool ended = probe.waitForFinished(30000);
    if (!ended)
        probe.kill();
    const QByteArray said = probe.readAllStandardOutput();
    QVERIFY2(ended, said.constData());
    QCOMPARE(probe.exitStatus(), QProcess::NormalExit);
    QCOMPARE(probe.exitCode(), 0);
    QCOMPARE(said, QByteArray("chart open\nwindow closed\nprogram ended\n"));
}

void ChartTest::opensWhollyOnTheTerminalsScreen_data()
{
    // The screens side by side ("width x height"), the scale factor the desktop sets, the screen
    // the terminal is on (centred on it), where the chart's frame opens (the screen's logical
    // pixels; the offscreen platform's frames are 2 pixels wide) and what of the terminal it
    // covers: beside the terminal where the screen has room for a chart of 480 x 280, otherwise
    // beside the log, otherwise at its first size, 860 x 520 or the screen's, where it covers
    // the least.
    QTest::addColumn<QStringList>("screens");
    QTest::addColumn<QString>("scale");
    QTest::addColumn<int>("terminalScreen");
    QTest::addColumn<QRect>("frame");
    QTest::addColumn<QString>("covers");
    QTest::newRow("1920x1080") << QStringList{"1920x1080"} << "1" << 0 << QRect(1278, 325, 642, 524)
                               << "nothing";
    QTest::newRow("1920x1080 at 150 %")
        << QStringList{"1920x1080"} << "1.5" << 0 << QRect(418, 423, 862, 297) << "the terminal";
    QTest::newRow("1920x1080 at 200 %")
        << QStringList{"1920x1080"} << "2" << 0 << QRect(98, 18, 862, 522) << "the log";
    QTest::newRow("3840x2160 at 200 %")
        << QStringList{"3840x2160"} << "2" << 0 << QRect(1277, 326, 643, 522) << "nothing";
    QTest::newRow("2560x1440 at 150 %")
        << QStringList{"2560x1440"} << "1.5" << 0 << QRect(0, 266, 537, 522) << "nothing";
    QTest::newRow("1280x1024") << QStringList{"1280x1024"} << "1" << 0 << QRect(322, 726, 864, 298)
                               << "nothing";
    QTest::newRow("1280x1024 at 150 %")
        << QStringList{"1280x1024"} << "1.5" << 0 << QRect(0, 161, 853, 522) << "the log";
    QTest::newRow("1280x900") << QStringList{"1280x900"} << "1" << 0 << QRect(416, 513, 864, 387)
                              << "the terminal";
    QTest::newRow("1280x900 at 200 %")
        << QStringList{"1280x900"} << "2" << 0 << QRect(0, 0, 640, 450) << "the log";
    QTest::newRow("the terminal on the second screen")
        << QStringList{"1920x1080", "1024x768"} << "1" << 1 << QRect(2080, 447, 864, 321)
        << "the terminal";
    QTest::newRow("the terminal on a small second screen, scaled twice")
        << QStringList{"1920x1080", "1024x768"} << "2" << 1 << QRect(1920, 0, 512, 384)
        << "the log";
}

void ChartTest::opensWhollyOnTheTerminalsScreen()
{
    QFETCH(QStringList, screens);
    QFETCH(QString, scale);
    QFETCH(int, terminalScreen);
    QFETCH(QRect, frame);
    QFETCH(QString, covers);
    // The offscreen platform plays the screens; the probe starts the terminal as the program
    // does, moves it to its screen, opens the chart and says where it opened.
    QTemporaryDir folder;
    QJsonArray screenList;
    int x = 0;
    for (int i = 0; i < screens.size(); ++i) {
        const QStringList sides = screens[i].split(QLatin1Char('x'));
        screenList.append(QJsonObject{{"name", QStringLiteral("screen%1").arg(i)},
                                      {"x", x},
                                      {"y", 0},
                                      {"width", sides[0].toInt()},
                                      {"height", sides[1].toInt()},
                                      {"logicalDpi", 96}});
        x += sides[0].toInt();
    }
    QFile config(folder.filePath(QStringLiteral("screens.json")));
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write(QJsonDocument(QJsonObject{{"screens", screenList}}).toJson());
    config.close();
    QProcess probe;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"),
                       QStringLiteral("offscreen:configfile=") + config.fileName());
    environment.insert(QStringLiteral("QT_SCALE_FACTOR"), scale);
    probe.setProcessEnvironment(environment);
    probe.start(QStringLiteral(BVTERM_CHART_PROBE),
                {QStringLiteral("placement"), QString::number(terminalScreen)});
    QVERIFY(probe.waitForFinished(30000));
    QMap<QString, QString> said;
    for (const QByteArray& line : probe.readAllStandardOutput().split('\n')) {
        const QStringList parts = QString::fromLatin1(line).split(QStringLiteral(": "));
        if (parts.size() == 2)
            said.insert(parts[0], parts[1]);
    }
    const auto rect = [&said](const QString& key) {
        const QStringList n = said.value(key).split(QLatin1Char(' '));
        return n.size() == 4 ? QRect(n[0].toInt(), n[1].toInt(), n[2].toInt(), n[3].toInt())
                             : QRect();
    };
    const QRect chart = rect(QStringLiteral("chart frame"));
    const QRect available = rect(QStringLiteral("available"));
    QCOMPARE(said.value(QStringLiteral("terminal on")),
             QStringLiteral("screen%1").arg(terminalScreen));
    QCOMPARE(said.value(QStringLiteral("chart on")), said.value(QStringLiteral("terminal on")));
    QCOMPARE(chart, frame);
    QVERIFY2(available.contains(chart),
             qPrintable(said.value(QStringLiteral("chart frame")) + " on " +
                        said.value(QStringLiteral("available"))));
    const QString covered = chart.intersects(rect(QStringLiteral("log"))) ? "the log"
                            : chart.intersects(rect(QStringLiteral("terminal frame")))
                                ? "the terminal"
                                : "nothing";
    QCOMPARE(covered, covers);
}

QTEST_MAIN(ChartTest)
#include "tst_chart.moc"
