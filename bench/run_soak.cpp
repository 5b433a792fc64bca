// A long measurement run against an instrument that goes away now and then: two commands every
// 0.1 s for 20,000 cycles, the instrument's pseudo-terminal hung up for 10 s every 5 minutes
// (and back as a new one behind the same alias), and the CSV file unwritable for 10 s once (a
// file size limit). Afterwards: every reply the instrument sent at least 100 ms before an unplug
// is in the CSV file exactly once, paired with its command; every gap is marked; the growth of
// the process's memory over the last 1,000 cycles against cycles 1,000 to 2,000; the time from
// the device's return to the `resumed` row. Linux only; not run by the test suite.
//   run_soak [cycles (20000)] [seconds between unplugs (300)] [seconds unplugged (10)]

#include "BenchSupport.h"

#include "app/frmMain.h"
#include "run/RunDefinition.h"
#include "run/RunSession.h"
#include "support/RunBench.h"

#include <QApplication>
#include <QDateTime>
#include <QFile>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <map>
#include <vector>

#include <csignal>
#include <poll.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int MaxReplies = 1 << 20;

struct Reply {
    char command = 0;     // 'A' or 'B'
    qint64 writtenMs = 0; // wall clock, when the instrument wrote it
};

// What the instrument processes and the bench share.
struct Shared {
    volatile int count = 0; // replies written so far; reply n reads "R<n>"
    Reply replies[MaxReplies];
};

qint64 wallMs()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
}

// Answers each command line at once with "R<n>", n counting all replies; system calls only.
[[noreturn]] void playInstrument(int master, Shared* shared)
{
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    char command = 0;
    bool atLineStart = true;
    for (;;) {
        pollfd wait{master, POLLIN, 0};
        ::poll(&wait, 1, -1);
        char buffer[256];
        const ssize_t got = ::read(master, buffer, sizeof buffer);
        if (got <= 0) {
            if (got < 0 && errno == EAGAIN)
                continue;
            _exit(0);
        }
        for (ssize_t i = 0; i < got; ++i) {
            if (atLineStart)
                command = buffer[i];
            atLineStart = buffer[i] == '\n';
            if (!atLineStart)
                continue;
            const int n = shared->count;
            char reply[32];
            const int length = snprintf(reply, sizeof reply, "R%d\r\n", n);
            if (::write(master, reply, size_t(length)) != length)
                _exit(0);
            if (n < MaxReplies)
                shared->replies[n] = {command, wallMs()};
            shared->count = n + 1;
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const qint64 cycles = arguments.size() > 1 ? arguments[1].toLongLong() : 20000;
    const int unplugEvery = arguments.size() > 2 ? arguments[2].toInt() : 300;
    const int unplugFor = arguments.size() > 3 ? arguments[3].toInt() : 10;
    std::signal(SIGXFSZ, SIG_IGN);

    auto* shared = static_cast<Shared*>(
        mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    new (shared) Shared();
    RunBench bench;
    pid_t instrument = fork();
    if (instrument == 0)
        playInstrument(bench.line->masterDescriptor(), shared);

    RunDefinition definition;
    definition.port = 5;
    definition.commands = {QStringLiteral("A"), QStringLiteral("B")};
    definition.periodMs = 100;
    definition.replyTimeoutMs = 500;
    definition.cycles = cycles;
    definition.csvFile = bench.csv;

    std::vector<qint64> unplugMs;        // when each unplug began
    std::vector<qint64> pluggedMs;       // when the device came back
    std::map<qint64, size_t> residentAt; // cycle -> bytes
    const qint64 startMs = wallMs();
    runScenario(bench.w, [&] {
        onGui([&] { bench.w.startRun(definition, true); });
        const qint64 durationMs = cycles * 100;
        qint64 nextUnplug = startMs + unplugEvery * 1000LL;
        bool limited = false;
        const qint64 fullAt = startMs + std::min<qint64>(durationMs / 2, 150'000);
        const qint64 cycleMarks[] = {1000, 2000, cycles - 1000, cycles};
        for (;;) {
            const qint64 now = wallMs();
            const bool running = onGui([&] { return bench.w.runSession() != nullptr; });
            if (!running)
                break;
            const qint64 counted =
                onGui([&] { return bench.w.runSession()->run().cyclesCounted(); });
            for (qint64 mark : cycleMarks)
                if (counted >= mark && !residentAt.count(mark))
                    residentAt[mark] = bench::residentBytes();
            // The CSV file cannot be written for 10 s, once.
            if (!limited && now >= fullAt) {
                limited = true;
                rlimit limit{};
                getrlimit(RLIMIT_FSIZE, &limit);
                const rlimit unlimited = limit;
                limit.rlim_cur = rlim_t(QFileInfo(bench.csv).size());
                setrlimit(RLIMIT_FSIZE, &limit);
                QThread::sleep(10);
                setrlimit(RLIMIT_FSIZE, &unlimited);
            }
            if (now >= nextUnplug && now < startMs + durationMs - 30'000) {
                unplugMs.push_back(wallMs());
                kill(instrument, SIGKILL);
                waitpid(instrument, nullptr, 0);
                bench.line->hangUp();
                QThread::sleep(unsigned(unplugFor));
                bench.line = std::make_unique<PseudoTerminal>();
                instrument = fork();
                if (instrument == 0)
                    playInstrument(bench.line->masterDescriptor(), shared);
                pluggedMs.push_back(wallMs());
                bench.aliases.point(5, bench.line->slavePath());
                nextUnplug += unplugEvery * 1000LL;
            }
            QThread::msleep(200);
        }
    });
    // The run has ended with its last cycle, before the loop above could see it counted.
    if (!residentAt.count(cycles))
        residentAt[cycles] = bench::residentBytes();
    kill(instrument, SIGKILL);
    waitpid(instrument, nullptr, 0);

    // The CSV file: which reply went with which command, and the gaps.
    QFile file(bench.csv);
    file.open(QIODevice::ReadOnly);
    std::map<int, int> seen; // reply number -> times paired with its command
    int wrongCommand = 0, linkLost = 0, resumed = 0, writeFailed = 0, writtenAgain = 0;
    std::vector<qint64> resumedMs;
    for (const QString& line : QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"))) {
        const QStringList f = csvFields(line);
        if (f.size() != 7)
            continue;
        if (f[6] != QLatin1String("ok") && f[3].startsWith(u'R'))
            std::printf("not paired: %s\n", qPrintable(line));
        if (f[6] == QLatin1String("ok") && f[3].startsWith(u'R')) {
            const int n = f[3].mid(1).toInt();
            ++seen[n];
            if (n < shared->count && shared->replies[n].command != f[2].toLatin1().at(0)) {
                ++wrongCommand;
                std::printf("paired with the wrong command: %s\n", qPrintable(line));
            }
        }
        linkLost += f[6] == QLatin1String("link lost");
        writeFailed += f[6] == QLatin1String("write failed");
        writtenAgain += f[6] == QLatin1String("written again");
        if (f[6] == QLatin1String("resumed")) {
            ++resumed;
            resumedMs.push_back(QDateTime::fromString(f[0], Qt::ISODateWithMs).toMSecsSinceEpoch());
        }
    }
    int missing = 0, twice = 0, due = 0;
    for (int n = 0; n < std::min(int(shared->count), MaxReplies); ++n) {
        const qint64 written = shared->replies[n].writtenMs;
        // Replies written in the last 100 ms before an unplug may be lost with the device.
        const bool nearUnplug = std::any_of(unplugMs.begin(), unplugMs.end(), [&](qint64 u) {
            return written > u - 100 && written <= u + 100;
        });
        if (nearUnplug)
            continue;
        ++due;
        if (seen.count(n) == 0)
            std::printf("missing: R%d, the reply to %c\n", n, shared->replies[n].command);
        missing += seen.count(n) == 0;
        twice += seen.count(n) && seen[n] > 1;
    }
    std::printf("%lld cycles of two commands every 0.1 s in %.0f s; machine load ", cycles,
                double(wallMs() - startMs) / 1000);
    QFile load(QStringLiteral("/proc/loadavg"));
    if (load.open(QIODevice::ReadOnly))
        std::printf("%s", load.readLine().constData());
    std::printf("replies sent at least 100 ms before an unplug: %d; missing from the CSV: %d, in "
                "it twice: %d, paired with the wrong command: %d\n",
                due, missing, twice, wrongCommand);
    std::printf("unplugs: %zu; link lost rows: %d, resumed rows: %d; write failed rows: %d, "
                "written again rows: %d\n",
                unplugMs.size(), linkLost, resumed, writeFailed, writtenAgain);
    for (size_t i = 0; i < std::min(pluggedMs.size(), resumedMs.size()); ++i)
        std::printf("device back to resumed row: %lld ms\n", resumedMs[i] - pluggedMs[i]);
    if (residentAt.size() == 4)
        std::printf("resident memory growth: cycles 1000-2000 %.2f MB, the last 1000 %.2f MB "
                    "(goal: within 1 MB of each other)\n",
                    double(residentAt[2000] - residentAt[1000]) / 1e6,
                    double(residentAt[cycles] - residentAt[cycles - 1000]) / 1e6);
    return 0;
}
