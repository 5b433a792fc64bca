// A measurement run's figures, against an instrument in a process of its own on a
// pseudo-terminal, the terminal offscreen with the chart closed:
// - how far each cycle's start lies from its due time: cycles of 0.1 s with two commands, the
//   instrument noting when each cycle's first command arrives (on the same clock as the run's);
// - the process's CPU during a run of one command a second;
// - the cost of writing a CSV row and of a sync, on the file system of the CSV file;
// - the latency column against the instrument's own delay of 50 ms.
//   run_bench [cycles (1000)] [cpu seconds (60)] [folder for the CSV files (a temporary one)]

#include "BenchSupport.h"

#include "app/frmMain.h"
#include "run/CsvFormat.h"
#include "run/RunCsvFile.h"
#include "run/RunDefinition.h"
#include "run/RunSession.h"
#include "support/TerminalBench.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <thread>
#include <vector>

#include <csignal>
#include <poll.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/statfs.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int MaxArrivals = 1 << 20;

// What the instrument process and the bench share.
struct Shared {
    volatile int delayMs = 0;         // how long the instrument waits before each reply
    volatile int arrivals = 0;        // commands received so far
    qint64 arrivalNs[MaxArrivals];    // when each "A" arrived (CLOCK_BOOTTIME)
    volatile int firstCommands = 0;   // how many "A" arrived
    qint64 turnaroundNs[MaxArrivals]; // from each command's arrival to its reply's writing
};

qint64 bootNs()
{
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// The instrument: answers every command line with a reading, after the delay asked for; notes
// when each command "A" arrives. System calls only (it is forked from a process with threads).
[[noreturn]] void playInstrument(int master, Shared* shared)
{
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    char line[256];
    int length = 0;
    static const char reply[] = "TEMP_23.50\r\n";
    for (;;) {
        pollfd wait{master, POLLIN, 0};
        if (::poll(&wait, 1, -1) < 0)
            continue;
        char buffer[512];
        const ssize_t got = ::read(master, buffer, sizeof buffer);
        if (got <= 0) {
            if (got < 0 && errno == EAGAIN)
                continue;
            _exit(0);
        }
        const qint64 at = bootNs();
        for (ssize_t i = 0; i < got; ++i) {
            if (buffer[i] != '\n') {
                if (length < int(sizeof line))
                    line[length++] = buffer[i];
                continue;
            }
            if (length > 0 && line[0] == 'A' && shared->firstCommands < MaxArrivals)
                shared->arrivalNs[shared->firstCommands++] = at;
            length = 0;
            const int index = shared->arrivals;
            if (shared->delayMs > 0) {
                const timespec delay{0, long(shared->delayMs) * 1'000'000};
                nanosleep(&delay, nullptr);
            }
            ssize_t left = sizeof reply - 1;
            const char* next = reply;
            while (left > 0) {
                const ssize_t wrote = ::write(master, next, size_t(left));
                if (wrote > 0) {
                    next += wrote;
                    left -= wrote;
                } else {
                    pollfd room{master, POLLOUT, 0};
                    ::poll(&room, 1, 100);
                }
            }
            if (index < MaxArrivals)
                shared->turnaroundNs[index] = bootNs() - at;
            shared->arrivals = index + 1;
        }
    }
}

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(std::ceil(p * double(values.size())) - 1))];
}

QString fileSystemOf(const QString& path)
{
    struct statfs info {};
    if (statfs(QFile::encodeName(path).constData(), &info) != 0)
        return QStringLiteral("unknown");
    switch (info.f_type) {
    case 0xEF53:
        return QStringLiteral("ext4 (or ext2/3)");
    case 0x01021994:
        return QStringLiteral("tmpfs");
    case 0x794c7630:
        return QStringLiteral("overlayfs");
    case 0x58465342:
        return QStringLiteral("xfs");
    case 0x9123683E:
        return QStringLiteral("btrfs");
    default:
        return QStringLiteral("type 0x%1").arg(qulonglong(info.f_type), 0, 16);
    }
}

// The latency column of the run's `ok` rows, in milliseconds.
std::vector<double> latencies(const QString& csv)
{
    std::vector<double> values;
    QFile file(csv);
    if (!file.open(QIODevice::ReadOnly))
        return values;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QList<QByteArray> fields = line.trimmed().split(',');
        if (fields.size() == 7 && fields[6] == "ok")
            values.push_back(fields[5].toDouble());
    }
    return values;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const int cycles = arguments.size() > 1 ? arguments[1].toInt() : 1000;
    const int cpuSeconds = arguments.size() > 2 ? arguments[2].toInt() : 60;
    QTemporaryDir temporary;
    const QString folder = arguments.size() > 3 ? arguments[3] : temporary.path();

    auto* shared = static_cast<Shared*>(
        mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    new (shared) Shared();
    TerminalBench bench;
    const pid_t instrument = fork();
    if (instrument == 0)
        playInstrument(bench.line->masterDescriptor(), shared);

    std::printf("CSV files on %s (%s); machine load %s", qPrintable(folder),
                qPrintable(fileSystemOf(folder)), qPrintable(QString::fromLatin1([] {
                    QFile load(QStringLiteral("/proc/loadavg"));
                    return load.open(QIODevice::ReadOnly) ? load.readLine() : QByteArray("?\n");
                }())));

    // Runs one measurement run to its end (or for `seconds`), returns the CPU it cost.
    const auto run = [&](const QStringList& commands, qint64 periodMs, qint64 count,
                         const QString& csv, int seconds) {
        RunDefinition definition;
        definition.port = 5;
        definition.commands = commands;
        definition.periodMs = periodMs;
        definition.replyTimeoutMs = 1000;
        definition.cycles = count;
        definition.csvFile = csv;
        double cpu = 0;
        runScenario(bench.w, [&] {
            onGui([&] { bench.w.startRun(definition, true); });
            waitUntil(
                [&] {
                    return onGui(
                        [&] { return bench.w.runSession() && bench.w.runSession()->hasBegun(); });
                },
                10000);
            const double before = bench::cpuSeconds();
            if (seconds > 0) {
                // Nothing else wakes up meanwhile.
                std::this_thread::sleep_for(std::chrono::seconds(seconds));
                cpu = bench::cpuSeconds() - before;
                onGui([&] { bench.w.runSession()->stop(RunEnd::StopPressed); });
                return;
            }
            waitUntil([&] { return onGui([&] { return !bench.w.runSession(); }); },
                      int(periodMs * count + 60000));
        });
        return cpu;
    };

    // 1. The schedule.
    shared->firstCommands = 0;
    run({QStringLiteral("A"), QStringLiteral("B")}, 100, cycles, folder + "/schedule.csv", 0);
    std::vector<double> deviationsMs;
    // A cycle that was skipped leaves no arrival: each one's cycle is the nearest to its time.
    for (int i = 0; i < shared->firstCommands; ++i) {
        const qint64 since = shared->arrivalNs[i] - shared->arrivalNs[0];
        const qint64 cycle = (since + 50'000'000) / 100'000'000;
        deviationsMs.push_back(double(since - cycle * 100'000'000) / 1e6);
    }
    std::vector<double> magnitudes;
    for (double d : deviationsMs)
        magnitudes.push_back(std::fabs(d));
    const auto mean = [](const std::vector<double>& values, size_t from, size_t to) {
        double sum = 0;
        for (size_t i = from; i < to; ++i)
            sum += values[i];
        return to > from ? sum / double(to - from) : 0.0;
    };
    const size_t n = deviationsMs.size();
    std::printf("cycle starts against their due times, %zu cycles of 0.1 s with two commands "
                "(as the instrument received them, relative to the first):\n"
                "  median %.3f ms, 99th percentile %.3f ms, worst %.3f ms (goals: p99 <= 2, worst "
                "<= 20)\n"
                "  trend: mean of the last 100 minus the first 100: %.3f ms (goal: <= 0.5)\n",
                n, percentile(magnitudes, 0.5), percentile(magnitudes, 0.99),
                magnitudes.empty() ? 0.0 : *std::max_element(magnitudes.begin(), magnitudes.end()),
                n >= 200 ? mean(deviationsMs, n - 100, n) - mean(deviationsMs, 0, 100) : 0.0);

    // 2. The CPU of a slow run.
    const double cpu = run({QStringLiteral("TEMP?")}, 1000, 0, folder + "/cpu.csv", cpuSeconds);
    std::printf("CPU of a run of one command a second over %d s: %.3f %% of one core "
                "(goal: <= 0.5 %%)\n",
                cpuSeconds, 100.0 * cpu / cpuSeconds);

    // 3. Writing rows and syncing.
    {
        RunCsvFile file;
        file.open(folder + "/rows.csv");
        file.begin(CsvFormat::headerLine());
        RunRow row;
        row.status = RunStatus::Ok;
        row.command = QStringLiteral("TEMP?");
        row.reply = QStringLiteral("TEMP_23.50");
        row.value = QStringLiteral("23.5");
        row.latencyNs = 1'234'567;
        const QTimeZone zone; // local time, as a run writes it
        constexpr int Rows = 100000;
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < Rows; ++i) {
            row.wallMs = 1'800'000'000'000 + i * 100;
            row.elapsedNs = qint64(i) * 100'000'000;
            file.append(CsvFormat::rowLine(row, zone));
        }
        const double perRowUs = double(timer.nsecsElapsed()) / Rows / 1000;
        std::vector<double> syncsMs;
        for (int i = 0; i < 100; ++i) {
            file.append(CsvFormat::rowLine(row, zone));
            timer.restart();
            file.sync();
            syncsMs.push_back(double(timer.nsecsElapsed()) / 1e6);
        }
        std::printf("writing a CSV row (formatting and handing it to the system): %.2f us a row "
                    "(goal: <= 10)\nsync after a row: median %.3f ms, worst %.3f ms\n",
                    perRowUs, percentile(syncsMs, 0.5),
                    *std::max_element(syncsMs.begin(), syncsMs.end()));
    }

    // 4. Latency against the instrument's own delay.
    shared->delayMs = 50;
    const int firstLatency = shared->arrivals;
    run({QStringLiteral("TEMP?")}, 200, 50, folder + "/latency.csv", 0);
    // Also against the instrument's own turnaround, which a loaded machine stretches.
    std::vector<double> extraMs;
    std::vector<double> againstTurnaroundMs;
    const std::vector<double> measured = latencies(folder + "/latency.csv");
    for (size_t i = 0; i < measured.size(); ++i) {
        extraMs.push_back(measured[i] - 50);
        if (firstLatency + int(i) < shared->arrivals)
            againstTurnaroundMs.push_back(
                std::fabs(measured[i] - double(shared->turnaroundNs[firstLatency + i]) / 1e6));
    }
    std::vector<double> extraMagnitudes;
    for (double e : extraMs)
        extraMagnitudes.push_back(std::fabs(e));
    std::printf("latency column minus the instrument's own turnaround: median %.3f ms, worst "
                "%.3f ms\n",
                percentile(againstTurnaroundMs, 0.5),
                againstTurnaroundMs.empty()
                    ? 0.0
                    : *std::max_element(againstTurnaroundMs.begin(), againstTurnaroundMs.end()));
    std::printf("latency column minus the instrument's 50 ms, %zu replies: median %.3f ms, "
                "worst %.3f ms (goal: within 1 ms)\n",
                extraMs.size(), percentile(extraMs, 0.5),
                extraMagnitudes.empty()
                    ? 0.0
                    : *std::max_element(extraMagnitudes.begin(), extraMagnitudes.end()));

    kill(instrument, SIGKILL);
    waitpid(instrument, nullptr, 0);
    return 0;
}
