// The chart of readings at scale: from the request to the first painted chart and the cost of
// each repaint with 1,000,000 readings in the log, the chart's own bytes a reading; then what the
// chart open costs the process per line during an unpaced burst over a pseudo-terminal, whether
// anything is lost, and how long a queued call to the window waits meanwhile.

#include "BenchSupport.h"

#include "app/frmMain.h"
#include "chart/ChartWindow.h"
#include "chart/ReadingSeries.h"
#include "exchange/ValueStripping.h"
#include "log/ResponseListView.h"
#include "support/TerminalBench.h"

#include <QAction>
#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
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
    auto* chart = w.chartWindow();
    QObject::connect(chart, &ChartWindow::painted, [&painted] { painted = true; });
    while (!painted)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double firstPaintMs = msSince(timer);
    int firstPoints = 0;
    for (int s = 0; s < chart->readings().count(); ++s)
        firstPoints += int(chart->linePoints(s).size());
    const size_t heapAfter = bench::heapInUse();

    std::printf("1,000,000 readings in the log (3 series), chart window %d x %d:\n", chart->width(),
                chart->height());
    std::printf("  request to first painted chart  %8.1f ms   (goal: at most 80 ms), %d points "
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
    std::printf("  slowest repaint %.2f ms (goal: at most 10 ms)\n", worst);

    // The chart's own data: the readings as the chart keeps them.
    const size_t setBefore = bench::heapInUse();
    {
        ReadingSeriesSet set;
        const ResponseLogModel& log = w.lstResponse->model();
        timer.restart();
        for (int row = 0; row < log.rowCount(); ++row) {
            set.addRow(log.stamp(row), log.cell(row, ResponseLogModel::CommandColumn),
                       log.cell(row, ResponseLogModel::ResponseColumn));
        }
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

struct Burst {
    double cpuPerLine = 0; // of the whole process, all its threads, microseconds
    double seconds = 0;
    int intact = 0;   // rows that hold the reading sent, in order
    int charted = -1; // readings the chart holds; -1 with the chart closed
    int redraws = 0;
    std::vector<double> callDelaysMs; // sorted, when probed
    std::vector<double> callWorkMs;   // the same less the time spent waiting for a core
};

double percentile(const std::vector<double>& sorted, int percent)
{
    if (sorted.empty())
        return 0;
    return sorted[std::min(sorted.size() - 1, sorted.size() * size_t(percent) / 100)];
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// The chart has taken every reading of the burst and drawn the last one, or is closed.
bool chartHasAll(frmMain& w, int lines)
{
    return onGui([&] {
        auto* chart = w.chartWindow();
        if (!chart)
            return true;
        const ReadingSeriesSet& readings = chart->readings();
        // The chart may show the series taken in at a later redraw: until then it has no line.
        if (readings.readingCount() != lines || chart->lineCount() < readings.count())
            return false;
        const ReadingList& last = readings.series(readings.count() - 1).readings;
        const QList<QPointF>& points = chart->linePoints(readings.count() - 1);
        return !points.isEmpty() && points.last().x() == double(last.msecsAt(last.size() - 1));
    });
}

// Sends the burst as fast as the line takes it, from a process of its own, into an empty log,
// with the chart open or closed. Counts the CPU time of this whole process from the word to go
// until the last line is a row and the chart has drawn it. With `probe`, a queued call is posted
// to the window every quarter millisecond while the burst arrives, and the time from posting to
// running is kept; the probe's own cost is then in the CPU time too.
Burst burst(TerminalBench& bench, const QByteArray& text, int lines, bool withChart, bool probe)
{
    frmMain& w = bench.w;
    Burst result;
    bench.disconnect();
    onGui([&] {
        w.cmdClear->click();
        if (withChart) {
            w.mnuChart->trigger();
        } else if (auto* chart = w.chartWindow()) {
            chart->close();
        }
    });
    waitUntil([&] { return onGui([&] { return (w.chartWindow() != nullptr) == withChart; }); });
    std::atomic<int> redraws{0};
    QMetaObject::Connection counting;
    if (withChart) {
        onGui([&] {
            counting =
                QObject::connect(w.chartWindow(), &ChartWindow::redrawn, [&redraws] { ++redraws; });
        });
    }
    bench.connect();
    bench::WriterProcess writer([&] { bench.line->write(text); });
    if (!writer.started())
        return result;
    // A chart just opened has its window made and painted before the burst starts.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    auto delays = std::make_shared<std::vector<double>>();
    auto work = std::make_shared<std::vector<double>>();
    delays->reserve(100000);
    work->reserve(100000);
    std::atomic<bool> going{false};
    std::atomic<bool> arrived{false};
    std::thread prober([&] {
        while (probe && !going)
            std::this_thread::yield();
        while (probe && !arrived) {
            const auto posted = std::chrono::steady_clock::now();
            const double postedWaitMs = bench::runQueueWaitMs();
            QMetaObject::invokeMethod(
                &w,
                [delays, work, posted, postedWaitMs] {
                    const double delayMs = std::chrono::duration<double, std::milli>(
                                               std::chrono::steady_clock::now() - posted)
                                               .count();
                    delays->push_back(delayMs);
                    work->push_back(delayMs - (bench::runQueueWaitMs() - postedWaitMs));
                },
                Qt::QueuedConnection);
            std::this_thread::sleep_for(std::chrono::microseconds(250));
        }
    });
    const int rowsBefore = logRowCount(w);
    redraws = 0;
    const double cpuBefore = bench::cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    writer.go();
    going = true;
    if (!waitUntil([&] { return logRowCount(w) == rowsBefore + lines; }, 120000))
        std::printf("  (only %d of %d lines became rows)\n", logRowCount(w) - rowsBefore, lines);
    arrived = true;
    waitUntil([&] { return chartHasAll(w, lines); }, 10000);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    result.cpuPerLine = (bench::cpuSeconds() - cpuBefore) * 1e6 / lines;
    result.seconds = msSince(wall) / 1000;
    result.redraws = redraws;
    prober.join();
    writer.finish();
    onGui([&] {
        QObject::disconnect(counting);
        const int rows = std::min(lines, w.lstResponse->Count());
        for (int i = 0; i < rows; ++i) {
            if (w.lstResponse->Row(i + 1).Response == readingText(i))
                ++result.intact;
        }
        if (auto* chart = w.chartWindow())
            result.charted = int(chart->readings().readingCount());
        result.callDelaysMs = *delays; // the last probes have run: the window is idle now
        result.callWorkMs = *work;
    });
    std::sort(result.callDelaysMs.begin(), result.callDelaysMs.end());
    std::sort(result.callWorkMs.begin(), result.callWorkMs.end());
    return result;
}

void printBurst(const Burst& round, bool withChart, int lines)
{
    std::printf("  chart %-6s %7.3f us/line, %.2f s, %d of %d rows intact",
                withChart ? "open" : "closed", round.cpuPerLine, round.seconds, round.intact,
                lines);
    if (withChart)
        std::printf(", %d readings charted, drawn afresh %d times (%.0f a second)", round.charted,
                    round.redraws, round.redraws / round.seconds);
    std::printf("\n");
    std::fflush(stdout);
}

void burstWithTheChart(int lines, int rounds)
{
    TerminalBench bench;
    frmMain& w = bench.w;
    w.cboBaudRate->setCurrentText(QStringLiteral("115200"));
    QByteArray text;
    for (int i = 0; i < lines; ++i)
        text += readingText(i).toLatin1() + "\r\n";
    runScenario(w, [&] {
        std::printf(
            "Unpaced burst of %d readings over a pseudo-terminal (\"20.123\\r\\n\"), written "
            "by another process;\nCPU of this whole process (all its threads) per line, "
            "log cleared before each round:\n",
            lines);
        std::vector<double> closed;
        std::vector<double> open;
        bool lost = false;
        for (int round = 0; round < 2 * rounds; ++round) {
            const bool withChart = round % 2 == 1;
            const Burst result = burst(bench, text, lines, withChart, false);
            (withChart ? open : closed).push_back(result.cpuPerLine);
            lost = lost || result.intact != lines || (withChart && result.charted != lines);
            printBurst(result, withChart, lines);
        }
        // Rounds run in pairs, closed then open, so that a pair shares the state of a shared
        // machine; the median of the pairs' ratios is the least swayed by it.
        std::vector<double> ratios;
        for (size_t pair = 0; pair < open.size(); ++pair)
            ratios.push_back(open[pair] / closed[pair]);
        std::sort(ratios.begin(), ratios.end());
        std::printf("  median: closed %.3f us/line, open %.3f us/line\n", median(closed),
                    median(open));
        std::printf("  open / closed, median of the pairs: %.2f x, from %.2f x to %.2f x "
                    "(goal: at most 2 x)\n",
                    ratios[ratios.size() / 2], ratios.front(), ratios.back());
        std::printf("  lines lost: %s (goal: none)\n", lost ? "some, see above" : "none");

        std::printf("\nDelay of a queued call to the window, posted every 0.25 ms during the same "
                    "burst, from posting to\nrunning (goal: 99th percentile with the chart open at "
                    "most 20 ms); \"own\": less the time the window's\nthread waited for a core "
                    "while other processes held them\n");
        for (const bool withChart : {false, true}) {
            const Burst probed = burst(bench, text, lines, withChart, true);
            const std::vector<double>& d = probed.callDelaysMs;
            std::printf(
                "  chart %-6s %6zu calls: p50 %6.3f ms, p99 %6.3f ms, max %7.3f ms; own p99 "
                "%6.3f ms, max %7.3f ms\n",
                withChart ? "open" : "closed", d.size(), percentile(d, 50), percentile(d, 99),
                d.empty() ? 0.0 : d.back(), percentile(probed.callWorkMs, 99),
                probed.callWorkMs.empty() ? 0.0 : probed.callWorkMs.back());
        }
        bench.disconnect();
    });
    for (const ShownMessage& message : bench.messages.all())
        std::printf("message: %s: %s\n", qPrintable(message.title), qPrintable(message.text));
}

} // namespace

int main(int argc, char** argv)
{
    // A screen of 1280 x 900, on which the chart opens at its first size (the offscreen
    // platform's own screen of 800 x 600 is smaller).
    QTemporaryDir folder;
    QFile screens(folder.filePath(QStringLiteral("screens.json")));
    if (screens.open(QIODevice::WriteOnly))
        screens.write(R"({"screens": [{"name": "bench", "x": 0, "y": 0, "width": 1280,
                         "height": 900, "logicalDpi": 96}]})");
    screens.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(screens.fileName()));
    QApplication app(argc, argv);
    // chart_bench [lines [rounds [burst]]]: "burst" measures the burst alone.
    const int lines = argc > 1 ? std::atoi(argv[1]) : 500000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 9;
    if (argc <= 3 || std::strcmp(argv[3], "burst") != 0)
        openingAndRepainting();
    burstWithTheChart(lines, rounds);
    return 0;
}
