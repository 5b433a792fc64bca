// The polling loop of the real window over a pseudo-terminal: lines at the pace of 115200 baud
// and unpaced, lines lost, time from a line's last byte to its row, and CPU while idle, next
// to the same loop polling without sleeping.

#include "BenchSupport.h"

#include "app/frmMain.h"
#include "log/ResponseListView.h"
#include "support/TerminalBench.h"

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

QByteArray lineText(int i)
{
    return QByteArray("L") + QByteArray::number(i).rightJustified(6, '0') + "\r\n"; // 9 bytes
}

struct Run {
    int sent = 0;
    int received = 0;
    int lost = 0;
    double medianMs = 0;
    double p99Ms = 0;
    double seconds = 0;
};

// Sends `count` lines (paced at 115200 baud, 10 bits a byte, or as fast as the line takes
// them) and waits until they have all become rows, or until no row has come for 5 s.
Run sendLines(frmMain& w, PseudoTerminal& line, std::vector<Clock::time_point>& rowTimes, int first,
              int count, bool paced)
{
    std::vector<Clock::time_point> sentAt{size_t(count)};
    const auto byteTime = std::chrono::nanoseconds(1000000000LL * 10 / 115200);
    const Clock::time_point start = Clock::now();
    std::thread instrument([&] {
        Clock::time_point next = start;
        for (int i = 0; i < count; ++i) {
            const QByteArray text = lineText(first + i);
            line.write(text);
            sentAt[size_t(i)] = Clock::now();
            if (paced) {
                next += byteTime * text.size();
                std::this_thread::sleep_until(next);
            }
        }
    });
    int rows = 0;
    int stalledFor = 0;
    while (rows < first + count && stalledFor < 5000) {
        const int now = logRowCount(w);
        stalledFor = now == rows ? stalledFor + 10 : 0;
        rows = now;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    instrument.join();
    Run run;
    run.sent = count;
    run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::vector<double> latencies;
    onGui([&] {
        for (int i = 0; i < count; ++i) {
            const int row = first + i + 1;
            if (row <= w.lstResponse->Count() &&
                w.lstResponse->Row(row).Response ==
                    QString::fromLatin1(lineText(first + i).chopped(2))) {
                ++run.received;
                latencies.push_back(std::chrono::duration<double, std::milli>(
                                        rowTimes[size_t(row - 1)] - sentAt[size_t(i)])
                                        .count());
            }
        }
    });
    run.lost = run.sent - run.received;
    std::sort(latencies.begin(), latencies.end());
    if (!latencies.empty()) {
        run.medianMs = latencies[latencies.size() / 2];
        run.p99Ms = latencies[std::min(latencies.size() - 1, latencies.size() * 99 / 100)];
    }
    return run;
}

double idleCpuShare(frmMain& w, bool sleepWhenIdle, double seconds)
{
    onGui([&] { w.setSleepWhenIdle(sleepWhenIdle); });
    pressConnect(w);
    waitUntil([&] { return isConnected(w); });
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const double cpuBefore = bench::cpuSeconds();
    const Clock::time_point start = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double cpu = bench::cpuSeconds() - cpuBefore;
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    pressConnect(w);
    waitUntil([&] { return !isConnected(w); });
    return cpu / wall;
}

void print(const char* name, const Run& run)
{
    std::printf("%-26s sent %7d  received %7d  lost %d  in %.2f s (%.0f lines/s)\n", name, run.sent,
                run.received, run.lost, run.seconds, run.received / run.seconds);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TerminalBench bench;
    frmMain& w = bench.w;
    PseudoTerminal& line = *bench.line;
    w.cboBaudRate->setCurrentText(QStringLiteral("115200"));

    std::vector<Clock::time_point> rowTimes;
    rowTimes.reserve(2000000);
    QObject::connect(
        &w.lstResponse->model(), &QAbstractItemModel::rowsInserted,
        [&rowTimes](const QModelIndex&, int, int) { rowTimes.push_back(Clock::now()); });

    const int pacedLines = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int unpacedLines = argc > 2 ? std::atoi(argv[2]) : 100000;
    const double idleSeconds = argc > 3 ? std::atof(argv[3]) : 10.0;

    runScenario(w, [&] {
        pressConnect(w);
        waitUntil([&] { return isConnected(w); });
        std::printf("Polling loop over a pseudo-terminal, 9-byte lines (\"L000123\\r\\n\")\n\n");
        const Run paced = sendLines(w, line, rowTimes, 0, pacedLines, true);
        print("paced at 115200 baud:", paced);
        std::printf("%-26s median %.3f ms, 99th percentile %.3f ms (goal: median under 1 ms)\n",
                    "last byte to row:", paced.medianMs, paced.p99Ms);
        const Run unpaced = sendLines(w, line, rowTimes, pacedLines, unpacedLines, false);
        print("unpaced:", unpaced);
        std::printf("%-26s median %.3f ms, 99th percentile %.3f ms (lines queue: nothing paces the "
                    "sender)\n",
                    "last byte to row:", unpaced.medianMs, unpaced.p99Ms);
        pressConnect(w);
        waitUntil([&] { return !isConnected(w); });

        const double sleeping = idleCpuShare(w, true, idleSeconds);
        const double spinning = idleCpuShare(w, false, idleSeconds);
        std::printf("\nCPU share while connected and idle for %.0f s:\n", idleSeconds);
        std::printf("  sleeping while idle       %6.2f %% of a core (goal: under 1 %%)\n",
                    sleeping * 100);
        std::printf("  polling without sleeping  %6.2f %% of a core\n", spinning * 100);
    });
    for (const ShownMessage& message : bench.messages.all())
        std::printf("message: %s: %s\n", qPrintable(message.title), qPrintable(message.text));
    return 0;
}
