// The polling loop of the real window over a pseudo-terminal: lines at the pace of 115200 baud
// and unpaced, lines lost, time from a line's last byte to its row, and CPU while idle, next
// to the same loop polling without sleeping.
//
// Then the cost of a received line next to a plain reader: a QSerialPort driven by readyRead
// that takes everything waiting at once, splits it on LF and adds each line through the same
// log view. Another process plays the instrument and writes an unpaced burst; only the CPU of
// the window's thread is counted, so the writer is not. Last, how long a queued call posted to
// the window waits while such a burst arrives.
//
// Last, lines one at a time, as an instrument that talks on its own sends them: the CPU of the
// window's thread per line at 10, 100 and 1000 lines a second, the window's painting switched off
// so that nothing is drawn, the polling loop next to the plain reader.
//
// Usage: exchange_bench [paced lines] [unpaced lines] [idle seconds] [burst kB] [rounds]
//                       [seconds of lines one at a time]

#include "BenchSupport.h"

#include "app/frmMain.h"
#include "log/ResponseListView.h"
#include "support/TerminalBench.h"

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QSerialPort>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <thread>
#include <vector>

#include <pthread.h>

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
    // Back to how the terminal runs, for what is measured next.
    onGui([&] { w.setSleepWhenIdle(true); });
    return cpu / wall;
}

void print(const char* name, const Run& run)
{
    std::printf("%-26s sent %7d  received %7d  lost %d  in %.2f s (%.0f lines/s)\n", name, run.sent,
                run.received, run.lost, run.seconds, run.received / run.seconds);
}

// ---- Cost per line next to a plain reader ------------------------------------------------------

// CPU time of the thread behind `clock` (see pthread_getcpuclockid), in seconds.
double threadCpuSeconds(clockid_t clock)
{
    timespec t{};
    clock_gettime(clock, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// Counts rows as they reach the log, on the window's thread; when the awaited number has come,
// that thread's CPU time and the wall time are taken there and then.
struct RowWatch {
    std::atomic<int> rows{0};
    std::atomic<int> target{-1};
    std::atomic<long long> cpuAtTargetNs{0};
    std::atomic<long long> wallAtTargetNs{0};

    void rowAdded()
    {
        if (++rows != target)
            return;
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        cpuAtTargetNs = t.tv_sec * 1000000000LL + t.tv_nsec;
        wallAtTargetNs = Clock::now().time_since_epoch().count();
    }
};

// The text of line i of a burst: its number, padded with letters to `length` characters, the
// CR LF that ends it included.
QByteArray burstLine(int i, int length)
{
    QByteArray text = QByteArray::number(i).rightJustified(std::min(8, length - 2), '0');
    text.append(QByteArray(std::max(0, length - 2 - int(text.size())), 'x'));
    return text + "\r\n";
}

// The reference reader: what a plain Qt program does with the port. Driven by readyRead, it
// takes everything waiting at once, splits it on LF (dropping the CR before it) and adds each
// line as the window's loop does: a row, its Response cell, brought into view.
class PlainReader {
public:
    explicit PlainReader(ResponseListView& log) : m_log(log)
    {
        QObject::connect(&m_port, &QSerialPort::readyRead, [this] { readAvailable(); });
    }
    bool open(const QString& device)
    {
        m_port.setPortName(device);
        return m_port.open(QIODevice::ReadWrite) && m_port.setBaudRate(115200);
    }

private:
    void readAvailable()
    {
        m_pending += m_port.readAll();
        qsizetype start = 0;
        for (;;) {
            const qsizetype end = m_pending.indexOf('\n', start);
            if (end < 0)
                break;
            qsizetype length = end - start;
            if (length > 0 && m_pending.at(end - 1) == '\r')
                --length;
            const int row = m_log.AddRow(QString());
            if (length > 0)
                m_log.SetResponse(row, QString::fromLatin1(m_pending.constData() + start, length));
            m_log.EnsureVisible(row);
            start = end + 1;
        }
        m_pending.remove(0, start);
    }

    ResponseListView& m_log;
    QSerialPort m_port;
    QByteArray m_pending;
};

struct Burst {
    int lines = 0;
    int received = 0;      // rows that hold the line sent, in order
    double cpuSeconds = 0; // the window's thread, from the word to go to the last row
    double seconds = 0;
    std::vector<double> eventDelaysMs; // sorted
    // The same delays less the time the window's thread spent waiting for a core while other
    // processes held them (the machine may be shared): what the reader itself made the call
    // wait, by working or by sleeping.
    std::vector<double> eventWorkMs; // sorted
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

double percentile(const std::vector<double>& sorted, int percent)
{
    if (sorted.empty())
        return 0;
    return sorted[std::min(sorted.size() - 1, sorted.size() * size_t(percent) / 100)];
}

// Sends `lines` lines of `length` characters unpaced from a writer process to whichever reader
// has the line open, into an empty log. With `probe`, a queued call is posted to the window
// every quarter millisecond while the burst arrives, and the time from posting to running is
// kept.
Burst runBurst(frmMain& w, PseudoTerminal& line, RowWatch& watch, clockid_t windowThread,
               int length, int lines, bool probe, int rate = 0)
{
    QByteArray text;
    text.reserve(qsizetype(lines) * length);
    for (int i = 0; i < lines; ++i)
        text += burstLine(i, length);
    onGui([&] {
        w.lstResponse->Clear();
        watch.rows = 0;
        watch.target = lines;
    });
    Burst burst;
    burst.lines = lines;
    bench::WriterProcess writer([&line, &text, length, lines, rate] {
        if (rate <= 0) {
            line.write(text);
            return;
        }
        const auto period = std::chrono::nanoseconds(1000000000LL / rate);
        const Clock::time_point start = Clock::now();
        for (int i = 0; i < lines; ++i) {
            std::this_thread::sleep_until(start + period * i);
            line.write(text.mid(qsizetype(i) * length, length));
        }
    });
    if (!writer.started())
        return burst;
    // Let the window finish what it was doing (the cleared log's repaint).
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    auto delays = std::make_shared<std::vector<double>>();
    auto work = std::make_shared<std::vector<double>>();
    delays->reserve(100000);
    work->reserve(100000);
    std::atomic<bool> arrived{false};
    std::atomic<bool> going{false};
    std::atomic<bool> proberReady{false};
    // The prober runs before the burst starts, so that it is on a core when the first bytes come.
    std::thread prober([&] {
        proberReady = true;
        while (probe && !going)
            std::this_thread::yield();
        while (probe && !arrived) {
            const Clock::time_point posted = Clock::now();
            const double postedWaitMs = bench::runQueueWaitMs();
            QMetaObject::invokeMethod(
                &w,
                [delays, work, posted, postedWaitMs] {
                    const double delayMs =
                        std::chrono::duration<double, std::milli>(Clock::now() - posted).count();
                    delays->push_back(delayMs);
                    work->push_back(delayMs - (bench::runQueueWaitMs() - postedWaitMs));
                },
                Qt::QueuedConnection);
            std::this_thread::sleep_for(std::chrono::microseconds(250));
        }
    });
    while (!proberReady)
        std::this_thread::yield();
    const double cpuBefore = threadCpuSeconds(windowThread);
    const Clock::time_point start = Clock::now();
    writer.go();
    going = true;
    int seen = 0;
    Clock::time_point lastProgress = Clock::now();
    while (watch.rows < lines && Clock::now() - lastProgress < std::chrono::seconds(5)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        if (watch.rows != seen) {
            seen = watch.rows;
            lastProgress = Clock::now();
        }
    }
    arrived = true;
    prober.join();
    if (watch.rows >= lines) {
        burst.cpuSeconds = double(watch.cpuAtTargetNs) / 1e9 - cpuBefore;
        burst.seconds = double(watch.wallAtTargetNs - start.time_since_epoch().count()) / 1e9;
    } else {
        burst.cpuSeconds = threadCpuSeconds(windowThread) - cpuBefore;
        burst.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    }
    writer.finish();
    onGui([&] {
        watch.target = -1;
        const int rows = std::min(lines, w.lstResponse->Count());
        for (int i = 0; i < rows; ++i) {
            if (w.lstResponse->Row(i + 1).Response ==
                QString::fromLatin1(burstLine(i, length).chopped(2)))
                ++burst.received;
        }
        burst.eventDelaysMs = *delays; // the last probes have run: the window is idle now
        burst.eventWorkMs = *work;
    });
    std::sort(burst.eventDelaysMs.begin(), burst.eventDelaysMs.end());
    std::sort(burst.eventWorkMs.begin(), burst.eventWorkMs.end());
    return burst;
}

// One burst read by the window's polling loop, and one read by the plain reader.
Burst oursBurst(TerminalBench& bench, RowWatch& watch, clockid_t windowThread, int length,
                int lines, bool probe, int rate = 0)
{
    if (!bench.connect()) {
        std::printf("the window did not connect\n");
        return {};
    }
    const Burst burst =
        runBurst(bench.w, *bench.line, watch, windowThread, length, lines, probe, rate);
    bench.disconnect();
    return burst;
}

Burst plainBurst(TerminalBench& bench, RowWatch& watch, clockid_t windowThread, int length,
                 int lines, bool probe, int rate = 0)
{
    std::unique_ptr<PlainReader> reader;
    const bool open = onGui([&] {
        reader = std::make_unique<PlainReader>(*bench.w.lstResponse);
        return reader->open(bench.line->slavePath());
    });
    if (!open) {
        std::printf("the plain reader could not open the line\n");
        return {};
    }
    const Burst burst =
        runBurst(bench.w, *bench.line, watch, windowThread, length, lines, probe, rate);
    onGui([&] { reader.reset(); });
    return burst;
}

void printLost(const char* who, int length, const Burst& burst)
{
    if (burst.received != burst.lines)
        std::printf("  %s, %d-character lines: %d of %d lines arrived intact\n", who, length,
                    burst.received, burst.lines);
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
    bool keepRowTimes = true; // touched on the window's thread only
    RowWatch watch;
    QObject::connect(&w.lstResponse->model(), &QAbstractItemModel::rowsInserted,
                     [&](const QModelIndex&, int, int) {
                         if (keepRowTimes)
                             rowTimes.push_back(Clock::now());
                         watch.rowAdded();
                     });
    clockid_t windowThread{};
    pthread_getcpuclockid(pthread_self(), &windowThread);

    const int pacedLines = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int unpacedLines = argc > 2 ? std::atoi(argv[2]) : 100000;
    const double idleSeconds = argc > 3 ? std::atof(argv[3]) : 10.0;
    const int burstBytes = (argc > 4 ? std::atoi(argv[4]) : 4000) * 1000;
    const int rounds = argc > 5 ? std::max(1, std::atoi(argv[5])) : 3;
    const double oneAtATimeSeconds = argc > 6 ? std::atof(argv[6]) : 10.0;
    const int lengths[] = {8, 40, 200};

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

        onGui([&] { keepRowTimes = false; });
        std::printf("\nUnpaced bursts of %d kB written by another process; CPU of the window's "
                    "thread per line,\nthe polling loop (ours) next to a plain readyRead reader, "
                    "median of %d rounds (goal: ratio at most 1.2)\n\n",
                    burstBytes / 1000, rounds);
        std::printf("  %6s %7s %14s %14s %7s %10s %10s\n", "length", "lines", "ours us/line",
                    "plain us/line", "ratio", "ours s", "plain s");
        for (const int length : lengths) {
            const int count = std::max(1000, burstBytes / length);
            std::vector<double> oursUs, plainUs, oursSeconds, plainSeconds;
            for (int round = 0; round < rounds; ++round) {
                const Burst ours = oursBurst(bench, watch, windowThread, length, count, false);
                const Burst plain = plainBurst(bench, watch, windowThread, length, count, false);
                oursUs.push_back(ours.cpuSeconds * 1e6 / count);
                plainUs.push_back(plain.cpuSeconds * 1e6 / count);
                oursSeconds.push_back(ours.seconds);
                plainSeconds.push_back(plain.seconds);
                printLost("ours", length, ours);
                printLost("plain", length, plain);
            }
            const double ours = median(oursUs);
            const double plain = median(plainUs);
            std::printf("  %6d %7d %14.2f %14.2f %7.2f %10.3f %10.3f\n", length, count, ours, plain,
                        plain > 0 ? ours / plain : 0.0, median(oursSeconds), median(plainSeconds));
        }

        std::printf("\nDelay of a queued call to the window, posted every 0.25 ms during the "
                    "same bursts, from posting\nto running (goal: 99th percentile of ours at most "
                    "2 ms); then the same delay less the time\nthe window's thread waited for a "
                    "core while other processes held them\n\n");
        std::printf("  %6s %6s %9s %9s %9s %9s   %9s %9s   %9s %9s\n", "", "", "ours", "ours",
                    "ours", "plain", "ours own", "ours own", "plain own", "plain own");
        std::printf("  %6s %6s %9s %9s %9s %9s   %9s %9s   %9s %9s\n", "length", "calls", "p50",
                    "p99", "max", "p99", "p99", "max", "p99", "max");
        for (const int length : lengths) {
            const int count = std::max(1000, burstBytes / length);
            const Burst ours = oursBurst(bench, watch, windowThread, length, count, true);
            const Burst plain = plainBurst(bench, watch, windowThread, length, count, true);
            auto last = [](const std::vector<double>& v) { return v.empty() ? 0.0 : v.back(); };
            std::printf("  %6d %6zu %6.3f ms %6.3f ms %6.3f ms %6.3f ms   %6.3f ms %6.3f ms   "
                        "%6.3f ms %6.3f ms\n",
                        length, ours.eventDelaysMs.size(), percentile(ours.eventDelaysMs, 50),
                        percentile(ours.eventDelaysMs, 99), last(ours.eventDelaysMs),
                        percentile(plain.eventDelaysMs, 99), percentile(ours.eventWorkMs, 99),
                        last(ours.eventWorkMs), percentile(plain.eventWorkMs, 99),
                        last(plain.eventWorkMs));
            printLost("ours", length, ours);
            printLost("plain", length, plain);
        }

        std::printf(
            "\nLines one at a time, 12 characters each, for %.0f s at each pace, the window "
            "painting off (nothing drawn);\nCPU of the window's thread per line, median of %d "
            "rounds (goal at 100 lines/s: ratio at most 2)\n\n",
            oneAtATimeSeconds, rounds);
        std::printf("  %8s %7s %14s %14s %7s\n", "lines/s", "lines", "ours us/line",
                    "plain us/line", "ratio");
        onGui([&] { w.setUpdatesEnabled(false); });
        for (const int rate : {10, 100, 1000}) {
            const int count = std::max(10, int(rate * oneAtATimeSeconds));
            std::vector<double> oursUs, plainUs;
            for (int round = 0; round < rounds; ++round) {
                const Burst ours = oursBurst(bench, watch, windowThread, 12, count, false, rate);
                const Burst plain = plainBurst(bench, watch, windowThread, 12, count, false, rate);
                oursUs.push_back(ours.cpuSeconds * 1e6 / count);
                plainUs.push_back(plain.cpuSeconds * 1e6 / count);
                printLost("ours", 12, ours);
                printLost("plain", 12, plain);
            }
            const double ours = median(oursUs);
            const double plain = median(plainUs);
            std::printf("  %8d %7d %14.2f %14.2f %7.2f\n", rate, count, ours, plain,
                        plain > 0 ? ours / plain : 0.0);
        }
        onGui([&] { w.setUpdatesEnabled(true); });
    });
    for (const ShownMessage& message : bench.messages.all())
        std::printf("message: %s: %s\n", qPrintable(message.title), qPrintable(message.text));
    return 0;
}
