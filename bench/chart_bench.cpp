// The chart of readings at scale: from the request to the first painted chart and the cost of
// each repaint with 1,000,000 readings in the log, the chart's own bytes a reading, and what the
// chart open costs the polling loop per line during an unpaced burst over a pseudo-terminal.

#include "BenchSupport.h"

#include "app/frmMain.h"
#include "exchange/ValueStripping.h"
#include "log/ChartWindow.h"
#include "log/ReadingSeries.h"
#include "log/ResponseListView.h"
#include "support/TerminalBench.h"

#include <QAction>
#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateTime>
#include <QElapsedTimer>
#include <QPushButton>

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <thread>
#include <vector>

namespace {

constexpr int Readings = 1000000;
constexpr qint64 ReadingEveryMs = 10; // about 2.8 hours of readings at 100 a second

// A value that wanders, with a rare spike, written as Strip Data writes it.
QString readingText(int i)
{
    const double wave = 20 + 5 * std::sin(i / 5000.0) + (i % 97) / 100.0;
    return formatNumber(i % 100003 == 50000 ? 80.0 : std::round(wave * 1000) / 1000);
}

// Fills the log with three commands taking turns and their readings, a second of a command
// row every 1000 readings.
void fillLog(ResponseLogModel& log, qint64 start)
{
    const QString commands[] = {QStringLiteral("TEMP?"), QStringLiteral("PRES?"),
                                QStringLiteral("VOLT?")};
    for (int i = 0; i < Readings; ++i) {
        const qint64 msecs = start + i * ReadingEveryMs;
        if (i % 1000 == 0)
            log.append(commands[(i / 1000) % 3], RowKind::Command, msecs);
        log.setResponse(log.append(QString(), RowKind::Reply, msecs), readingText(i));
    }
}

double msSince(const QElapsedTimer& timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

void openingAndRepainting()
{
    frmMain w;
    w.show();
    const qint64 start = QDateTime::currentMSecsSinceEpoch() - Readings * ReadingEveryMs;
    fillLog(w.lstResponse->model(), start);
    QApplication::processEvents();

    // Request to first paint.
    const size_t heapBefore = bench::heapInUse();
    bool painted = false;
    QElapsedTimer timer;
    timer.start();
    w.mnuChart->trigger();
    auto* chart = w.findChild<ChartWindow*>();
    QObject::connect(chart, &ChartWindow::painted, [&painted] { painted = true; });
    while (!painted)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double firstPaintMs = msSince(timer);
    int firstPoints = 0;
    for (int s = 0; s < chart->readings().count(); ++s)
        firstPoints += int(chart->linePoints(s).size());
    const size_t heapAfter = bench::heapInUse();

    std::printf("1,000,000 readings in the log (3 series), chart window 860 x 520:\n");
    std::printf("  request to first painted chart  %8.1f ms   (goal: under 500 ms), %d points "
                "drawn, plot %.0f pixels wide\n",
                firstPaintMs, firstPoints, chart->chart()->plotArea().width());

    // Repaints: the lines drawn afresh for a view and painted, for views of every width.
    struct View {
        const char* name;
        qint64 from;
        qint64 to;
    };
    const qint64 end = start + (Readings - 1) * ReadingEveryMs;
    const View views[] = {{"all readings (following)", 0, 0},
                          {"the later half", start + (end - start) / 2, end},
                          {"ten minutes", end - 600000, end},
                          {"ten seconds", end - 10000, end}};
    std::printf("  repaint (lines reduced to the columns, then painted):\n");
    double worst = 0;
    for (const View& view : views) {
        std::vector<double> times;
        for (int round = 0; round < 10; ++round) {
            timer.restart();
            if (view.from == 0)
                chart->follow();
            else
                chart->showTimeRange(view.from, view.to);
            chart->chartView()->viewport()->repaint();
            times.push_back(msSince(timer));
        }
        std::sort(times.begin(), times.end());
        int points = 0;
        for (int s = 0; s < chart->readings().count(); ++s)
            points += int(chart->linePoints(s).size());
        worst = std::max(worst, times.back());
        std::printf("    %-26s median %6.2f ms, slowest %6.2f ms, %5d points drawn\n", view.name,
                    times[times.size() / 2], times.back(), points);
    }
    std::printf("  slowest repaint %.2f ms (goal: under 16 ms)\n", worst);

    // The chart's own data: the readings as the chart keeps them.
    const size_t setBefore = bench::heapInUse();
    {
        ReadingSeriesSet set;
        const ResponseLogModel& log = w.lstResponse->model();
        timer.restart();
        // As the chart's intake thread takes them.
        log.lendRows(0).visit([&set](RowStamp stamp, QStringView command, QStringView response) {
            set.addRow(stamp.kind(), command, response, stamp.msecsSinceEpoch());
        });
        const double takeNs = double(timer.nsecsElapsed()) / log.rowCount();
        const size_t setAfter = bench::heapInUse();
        std::printf("  taking a row of the log into the chart's data: %.1f ns\n", takeNs);
        std::printf("  chart data: %.2f bytes a reading (goal: at most 16); the whole chart "
                    "window: %.2f\n\n",
                    double(setAfter - setBefore) / double(set.readingCount()),
                    double(heapAfter - heapBefore) / double(Readings));
    }
    w.close();
}

// CPU time of a thread, in seconds.
double threadCpuSeconds(pthread_t thread)
{
    clockid_t clock{};
    pthread_getcpuclockid(thread, &clock);
    timespec now{};
    clock_gettime(clock, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

struct BurstCost {
    double cpuPerLine = 0;    // of the window's thread, microseconds
    double chartPerLine = 0;  // of it, the chart's own work
    double intakePerLine = 0; // on the chart's intake thread
};

// The time the chart has worked on the window's thread and on its intake thread so far, or 0
// when it is closed.
std::pair<double, double> chartWorkedMs(frmMain& w)
{
    return onGui([&w] {
        auto* chart = w.findChild<ChartWindow*>();
        return chart ? std::pair(chart->workedMs(), chart->intakeMs()) : std::pair(0.0, 0.0);
    });
}

// Sends `lines` readings as fast as the line takes them and returns what the window thread
// spent per line, counted until the last line is a row and the chart has drawn it.
BurstCost burst(TerminalBench& bench, pthread_t windowThread, int lines)
{
    QByteArray text;
    for (int i = 0; i < lines; ++i)
        text += readingText(i).toLatin1() + "\r\n";
    const int rowsBefore = logRowCount(bench.w);
    const double cpuBefore = threadCpuSeconds(windowThread);
    const auto [chartBefore, intakeBefore] = chartWorkedMs(bench.w);
    std::thread instrument([&] { bench.line->write(text); });
    if (!waitUntil([&] { return logRowCount(bench.w) == rowsBefore + lines; }, 120000))
        std::printf("  (only %d of %d lines became rows)\n", logRowCount(bench.w) - rowsBefore,
                    lines);
    // The chart takes the rows at its next update: its share of the work is done once it has
    // them all and has painted them.
    const auto chartHasAll = [&] {
        return onGui([&] {
            auto* chart = bench.w.findChild<ChartWindow*>();
            if (!chart)
                return true;
            // Every reading taken in and drawn: the last one is among the points of a line.
            const ReadingSeriesSet& readings = chart->readings();
            // The chart shows the series taken in at a later frame: until then it has no line.
            if (readings.readingCount() != lines || chart->lineCount() < readings.count())
                return false;
            const ReadingList& last = readings.series(readings.count() - 1).readings;
            const QList<QPointF>& points = chart->linePoints(readings.count() - 1);
            return !points.isEmpty() && points.last().x() == double(last.msecsAt(last.size() - 1));
        });
    };
    waitUntil(chartHasAll, 10000);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const double cpu = threadCpuSeconds(windowThread) - cpuBefore;
    const auto [chartAfter, intakeAfter] = chartWorkedMs(bench.w);
    instrument.join();
    return {cpu * 1e6 / lines, (chartAfter - chartBefore) * 1e3 / lines,
            (intakeAfter - intakeBefore) * 1e3 / lines};
}

void burstWithTheChart(int lines, int rounds)
{
    TerminalBench bench;
    frmMain& w = bench.w;
    w.cboBaudRate->setCurrentText(QStringLiteral("115200"));
    runScenario(w, [&] {
        const pthread_t windowThread = onGui([] { return pthread_self(); });
        std::printf("Unpaced burst of %d readings over a pseudo-terminal (\"20.123\\r\\n\"), "
                    "CPU of the window's thread per line, log cleared before each:\n",
                    lines);
        std::vector<double> closed;
        std::vector<double> open;
        std::vector<double> chartOwn;
        std::vector<double> intake;
        for (int round = 0; round < 2 * rounds; ++round) {
            const bool withChart = round % 2 == 1;
            bench.disconnect();
            onGui([&] {
                w.cmdClear->click();
                if (withChart) {
                    w.mnuChart->trigger();
                } else if (auto* chart = w.findChild<ChartWindow*>()) {
                    chart->close();
                }
            });
            waitUntil([&] {
                return onGui([&] { return (w.findChild<ChartWindow*>() != nullptr) == withChart; });
            });
            // A chart just opened has its window made and painted before the burst starts.
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            std::atomic<int> redraws{0};
            QMetaObject::Connection counting;
            if (withChart) {
                onGui([&] {
                    counting = QObject::connect(w.findChild<ChartWindow*>(), &ChartWindow::redrawn,
                                                [&redraws] { ++redraws; });
                });
            }
            bench.connect();
            QElapsedTimer wall;
            wall.start();
            const BurstCost cost = burst(bench, windowThread, lines);
            const double seconds = msSince(wall) / 1000;
            onGui([&] { QObject::disconnect(counting); });
            (withChart ? open : closed).push_back(cost.cpuPerLine);
            std::printf("  chart %-6s %7.3f us/line, %.2f s", withChart ? "open" : "closed",
                        cost.cpuPerLine, seconds);
            if (withChart) {
                chartOwn.push_back(cost.chartPerLine);
                intake.push_back(cost.intakePerLine);
                std::printf(", the chart drawn afresh %d times (%.0f a second), its own work "
                            "%.3f us/line, taking rows in on its own thread %.3f us/line",
                            redraws.load(), redraws.load() / seconds, cost.chartPerLine,
                            cost.intakePerLine);
            }
            std::printf("\n");
            std::fflush(stdout);
        }
        // Rounds run in pairs, closed then open, so that a pair shares the state of a shared
        // machine; the median of the pairs' ratios is the least swayed by it.
        std::vector<double> ratios;
        for (size_t pair = 0; pair < open.size(); ++pair)
            ratios.push_back(open[pair] / closed[pair]);
        std::sort(ratios.begin(), ratios.end());
        std::sort(closed.begin(), closed.end());
        std::sort(open.begin(), open.end());
        std::sort(chartOwn.begin(), chartOwn.end());
        std::sort(intake.begin(), intake.end());
        const double closedMedian = closed[closed.size() / 2];
        const double openMedian = open[open.size() / 2];
        std::printf("  median: closed %.3f us/line, open %.3f us/line: %+.1f %% (goal: at most "
                    "+10 %%)\n",
                    closedMedian, openMedian, (openMedian / closedMedian - 1) * 100);
        std::printf("  least:  closed %.3f us/line, open %.3f us/line: %+.1f %%\n", closed.front(),
                    open.front(), (open.front() / closed.front() - 1) * 100);
        std::printf("  pairs:  median %+.1f %%, from %+.1f %% to %+.1f %%\n",
                    (ratios[ratios.size() / 2] - 1) * 100, (ratios.front() - 1) * 100,
                    (ratios.back() - 1) * 100);
        // The chart's own work, timed by the chart, does not sway with the machine as much.
        std::printf("  the chart's own work: median %.3f us/line, %+.1f %% of a closed round's "
                    "median\n",
                    chartOwn[chartOwn.size() / 2],
                    chartOwn[chartOwn.size() / 2] / closedMedian * 100);
        // Not on the window's thread, so not in the loop's CPU; the process spends it all the
        // same.
        std::printf("  taking rows in, on the chart's own thread: median %.3f us/line, %.1f %% "
                    "of a closed round's median\n",
                    intake[intake.size() / 2], intake[intake.size() / 2] / closedMedian * 100);
        bench.disconnect();
    });
    for (const ShownMessage& message : bench.messages.all())
        std::printf("message: %s: %s\n", qPrintable(message.title), qPrintable(message.text));
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // chart_bench [lines [rounds [burst]]]: "burst" measures the burst alone.
    const int lines = argc > 1 ? std::atoi(argv[1]) : 500000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 9;
    if (argc <= 3 || std::strcmp(argv[3], "burst") != 0)
        openingAndRepainting();
    burstWithTheChart(lines, rounds);
    return 0;
}
